// The language pages and fonts of a classic scanner, as Step 3 runs them before its confirmations: one
// progress line in control 1023 per item, the chunks through FlashWriter, and at the end a line for
// every item that the scanner did not fully acknowledge.
#pragma once

#include "device/CommandLink.h"
#include "fonts/FlashWriter.h"
#include "steps/StepContext.h"

#include <optional>
#include <string>
#include <vector>

namespace orvexa {

// Why the carried tables cannot be written for the carried firmware's model; checked before anything
// is sent, so that a table that does not fit is refused whole rather than written in part.
std::optional<std::string> languageDownloadProblem(const StepContext& ctx);

// Shows "<name> downloading.." under the status text and writes the block; false when a chunk was not
// acknowledged.
bool downloadBlob(StepContext& ctx, FlashWriter& writer, const std::uint8_t* block, std::uint32_t size,
                  std::uint32_t address, const std::string& name);

// The whole run. Returns the shown names of the items with unacknowledged chunks (empty when the
// scanner acknowledged everything); each is also added to control 1023 as "<name> download failed..".
std::vector<std::string> downloadLanguagesAndFonts(StepContext& ctx, CommandLink& link);

} // namespace orvexa
