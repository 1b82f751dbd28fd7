#include "steps/LanguageDownload.h"

#include "fonts/FlashLayout.h"
#include "fonts/FlashWriter.h"
#include "fonts/LanguagePage.h"
#include "steps/StepTexts.h"
#include "ui/Controls.h"

namespace orvexa {

namespace {

// Brackets the run on scanners that said they take fonts ("GnOLG" accepted in Step 2).
constexpr char kFontSessionBracket[] = "GnOFS";

// What one step of the progress bar stands for during the run.
constexpr char kProgressUnits[] = "pages and fonts";

constexpr FlashItem kPageItems[] = {FlashItem::EnglishPage, FlashItem::FrenchPage, FlashItem::ItalianPage,
                                    FlashItem::SpanishPage, FlashItem::KoreanPage, FlashItem::JapanesePage};

struct Font {
    FlashItem item;
    const FontBlob& blob;
};

Language languageOf(FlashItem page) {
    return kLanguages[static_cast<std::size_t>(page)];
}

void showLine(StepContext& ctx, const std::string& line) {
    ctx.window.setControlText(control::kStatus, ctx.records.statusText + "\r\n" + line);
}

// Writes the items of one run chunk by chunk, and keeps what the run will report.
class ItemWriter {
public:
    ItemWriter(StepContext& ctx, CommandLink& link, const DownloadSession& session)
        : ctx_(ctx), writer_(link), session_(session) {}

    // Shows "<name> downloading.." under the status text and writes the block; false when the run must
    // end here (stopped, or the line is gone).
    bool write(const std::uint8_t* block, std::uint32_t size, std::uint32_t address, const std::string& name);

    LanguageRun run;

private:
    StepContext& ctx_;
    FlashWriter writer_;
    const DownloadSession& session_;
};

bool ItemWriter::write(const std::uint8_t* block, std::uint32_t size, std::uint32_t address,
                       const std::string& name) {
    showLine(ctx_, name + " downloading..");
    ctx_.window.repaint();
    bool acknowledged = true;
    const std::uint32_t chunks = FlashWriter::chunkCount(size);
    for (std::uint32_t chunk = 0; chunk < chunks && run.end == LanguageRun::End::Complete; ++chunk) {
        if (session_.stopRequested()) {
            run.end = LanguageRun::End::Stopped;
            break;
        }
        // A chunk that is not acknowledged does not stop the run; it is reported at its end.
        acknowledged = writer_.writeFlashChunk(block, size, address, chunk * kFlashChunkSize) && acknowledged;
        ctx_.window.progressStepIt();
        if (session_.lineLost()) {
            run.end = LanguageRun::End::LineLost;
        }
    }
    if (!acknowledged) {
        run.failed.push_back(name + " download failed..");
    }
    return run.end == LanguageRun::End::Complete;
}

} // namespace

std::optional<std::string> languageDownloadProblem(const StepContext& ctx) {
    const FlashLayout layout = setFlashLayout(ctx.package, ctx.records.deviceInfo.flashType);
    for (const FlashItem item : kPageItems) {
        if (!layout.holds(item)) {
            continue;
        }
        const Language language = languageOf(item);
        if (auto problem = languageTableProblem(ctx.languages.table(language), layout.pageSize,
                                                languageName(language))) {
            return problem;
        }
    }
    return std::nullopt;
}

LanguageRun downloadLanguagesAndFonts(StepContext& ctx, CommandLink& link, const DownloadSession& session) {
    const DeviceInfo& device = ctx.records.deviceInfo;
    const FlashLayout layout = setFlashLayout(ctx.package, device.flashType);
    const Font fonts[] = {{FlashItem::KoreanFont, ctx.languages.koreanFont},
                          {FlashItem::JapaneseFont, ctx.languages.japaneseFont}};

    std::uint32_t chunks = 0;
    for (const FlashItem item : kPageItems) {
        chunks += layout.holds(item) ? FlashWriter::chunkCount(layout.pageSize) : 0;
    }
    for (const Font& font : fonts) {
        chunks += layout.holds(font.item)
                      ? FlashWriter::chunkCount(static_cast<std::uint32_t>(font.blob.size()))
                      : 0;
    }
    ctx.window.progressSetUnits(kProgressUnits, kFlashChunkSize);
    ctx.window.progressSetStep(1);
    ctx.window.progressSetRange(0, static_cast<std::uint16_t>(chunks));

    ItemWriter items(ctx, link, session);
    if (device.fontCapable) {
        link.sendPaced(kFontSessionBracket);
    }

    LanguagePage page; // one buffer for every page of the run
    bool goOn = true;
    for (const FlashItem item : kPageItems) {
        if (!goOn || !layout.holds(item)) {
            continue;
        }
        if (!packLanguagePage(page, ctx.languages.table(languageOf(item)), layout.pageSize)) {
            continue; // refused by languageDownloadProblem before the run; never sent in part
        }
        goOn = items.write(page.data(), layout.pageSize, layout.targetOf(item), flashItemName(item));
    }
    for (const Font& font : fonts) {
        if (!goOn || !layout.holds(font.item)) {
            continue;
        }
        const std::string name = flashItemName(font.item);
        goOn = items.write(font.blob.data(), static_cast<std::uint32_t>(font.blob.size()),
                           layout.targetOf(font.item), name);
        if (goOn) {
            showLine(ctx, name + " downloaded..");
        }
    }

    if (goOn && device.fontCapable) {
        link.sendPaced(kFontSessionBracket);
    }

    // An addition to the original run, which reported nothing here: the last progress line stays, and
    // each item the scanner did not acknowledge gets a line of its own under it.
    for (const std::string& line : items.run.failed) {
        addStatusLine(ctx.window, line);
    }
    return items.run;
}

} // namespace orvexa
