// The language pages and fonts of a classic scanner, as Step 3 runs them before its confirmations: one
// progress line in control 1023 per item, the progress bar stepped once per flash chunk, the chunks
// through FlashWriter, and at the end a line for every item that the scanner did not fully acknowledge.
// Between two chunks the run stops when the front end asks it to, or at once when the line is gone.
#pragma once

#include "device/CommandLink.h"
#include "steps/DownloadSession.h"
#include "steps/StepContext.h"

#include <optional>
#include <string>
#include <vector>

namespace orvexa {

// Why the carried tables cannot be written for the carried firmware's model; checked before anything
// is sent, so that a table that does not fit is refused whole rather than written in part.
std::optional<std::string> languageDownloadProblem(const StepContext& ctx);

struct LanguageRun {
    enum class End { Complete, Stopped, LineLost };
    End end = End::Complete;
    // The status lines of the items with unacknowledged chunks ("<name> download failed.."), each also
    // added to control 1023; empty when the scanner acknowledged everything that was sent.
    std::vector<std::string> failed;
};

// The whole run.
LanguageRun downloadLanguagesAndFonts(StepContext& ctx, CommandLink& link, const DownloadSession& session);

} // namespace orvexa
