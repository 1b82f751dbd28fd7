// Step 1's port dialog, without its drawing. Its start discovers the ports and probes each in order on a
// channel of its own; the first that answers wins and the dialog ends with OK before the user sees it.
// When none answers, the window shows the dialog with the discovered ports offered for a manual choice
// (an addition: the original left the list empty and OK disabled, so only Cancel could end it).
//
//   doModal: discover -> probe port 1 -> probe port 2 -> ... -> first answer: IDOK
//                                                           \-> none: window's port dialog -> IDOK | IDCANCEL
#pragma once

#include "steps/StepContext.h"

#include <memory>

namespace orvexa {

class PortSelectDialog {
public:
    explicit PortSelectDialog(StepContext& ctx);

    // IDOK with records.selectedPort set, or IDCANCEL.
    int doModal();

    // The index the user chose in the combo box; -1 when the dialog ended on its own or by Cancel.
    int portIndex() const { return portIndex_; }

private:
    bool probe(const PortInfo& port);

    StepContext& ctx_;
    int portIndex_ = -1;
    std::unique_ptr<SerialChannel> probeChannel_;
};

// "ttyUSB0: Open Done!!!" and "Can't open ttyUSB0!!! Please try other port": the port's own name takes
// the place of "COM%d".
std::string openDoneText(const PortInfo& port);
std::string openFailedText(const PortInfo& port);

} // namespace orvexa
