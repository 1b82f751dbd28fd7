// The port dialog drawn with Qt (the step logic has its own PortSelectDialog), shown when no port answered
// the probe. It lists the ports found so that the user can pick one by hand (an addition: the dialog's
// original design left its list empty). "Cancel" is the default button, so Enter and Escape both cancel; "OK"
// is enabled once a port is selected.
#pragma once

#include "serial/PortDiscovery.h"

#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QPushButton;

namespace orvexa {

class QtPortSelectDialog : public QDialog {
    Q_OBJECT
public:
    QtPortSelectDialog(const std::vector<PortInfo>& ports, QWidget* parent = nullptr);

    // The index of the chosen port after OK; nothing after Cancel.
    std::optional<std::size_t> chosenPort() const;

    QComboBox* portCombo() const { return portCombo_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    void onPortSelChange();

    QComboBox* portCombo_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

} // namespace orvexa
