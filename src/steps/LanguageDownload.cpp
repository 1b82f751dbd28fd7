#include "steps/LanguageDownload.h"

#include "fonts/FlashLayout.h"
#include "fonts/LanguagePage.h"
#include "ui/Controls.h"

namespace orvexa {

namespace {

// Brackets the run on scanners that said they take fonts ("GnOLG" accepted in Step 2).
constexpr char kFontSessionBracket[] = "GnOFS";

constexpr FlashItem kPageItems[] = {FlashItem::EnglishPage, FlashItem::FrenchPage, FlashItem::ItalianPage,
                                    FlashItem::SpanishPage, FlashItem::KoreanPage, FlashItem::JapanesePage};

Language languageOf(FlashItem page) {
    return kLanguages[static_cast<std::size_t>(page)];
}

void showLine(StepContext& ctx, const std::string& line) {
    ctx.window.setControlText(control::kStatus, ctx.records.statusText + "\r\n" + line);
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

bool downloadBlob(StepContext& ctx, FlashWriter& writer, const std::uint8_t* block, std::uint32_t size,
                  std::uint32_t address, const std::string& name) {
    showLine(ctx, name + " downloading..");
    ctx.window.repaint();
    return writer.writeBlob(block, size, address) == 0;
}

std::vector<std::string> downloadLanguagesAndFonts(StepContext& ctx, CommandLink& link) {
    const DeviceInfo& device = ctx.records.deviceInfo;
    const FlashLayout layout = setFlashLayout(ctx.package, device.flashType);
    FlashWriter writer(link);
    std::vector<std::string> failed;

    if (device.fontCapable) {
        link.sendPaced(kFontSessionBracket);
    }

    LanguagePage page; // one buffer for every page of the run
    for (const FlashItem item : kPageItems) {
        if (!layout.holds(item)) {
            continue;
        }
        if (!packLanguagePage(page, ctx.languages.table(languageOf(item)), layout.pageSize)) {
            continue; // refused by languageDownloadProblem before the run; never sent in part
        }
        if (!downloadBlob(ctx, writer, page.data(), layout.pageSize, layout.targetOf(item),
                          flashItemName(item))) {
            failed.emplace_back(flashItemName(item));
        }
    }

    const std::pair<FlashItem, const FontBlob*> fonts[] = {
        {FlashItem::KoreanFont, &ctx.languages.koreanFont},
        {FlashItem::JapaneseFont, &ctx.languages.japaneseFont}};
    for (const auto& [item, font] : fonts) {
        if (!layout.holds(item)) {
            continue;
        }
        const std::string name = flashItemName(item);
        if (!downloadBlob(ctx, writer, font->data(), static_cast<std::uint32_t>(font->size()),
                          layout.targetOf(item), name)) {
            failed.push_back(name);
        }
        showLine(ctx, name + " downloaded..");
    }

    if (device.fontCapable) {
        link.sendPaced(kFontSessionBracket);
    }

    // An addition to the original run, which reported nothing here: the last progress line stays, and
    // each item the scanner did not acknowledge gets a line of its own under it.
    if (!failed.empty()) {
        std::string text = ctx.window.controlText(control::kStatus);
        for (const std::string& name : failed) {
            text += "\r\n" + name + " download failed..";
        }
        ctx.window.setControlText(control::kStatus, text);
    }
    return failed;
}

} // namespace orvexa
