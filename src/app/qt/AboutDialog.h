// The About box: the icon and the lines the dialog's logic gives it (the program's line, then its version
// and the firmware it carries). It has no behaviour beyond "OK".
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace orvexa {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(const std::string& caption, const std::vector<std::string>& lines, QWidget* parent = nullptr);

    QLabel* iconLabel() const { return icon_; }
    QLabel* titleLine() const { return title_; }
    QLabel* secondLine() const { return second_; }
    QPushButton* okButton() const { return ok_; }

private:
    QLabel* icon_;
    QLabel* title_;
    QLabel* second_;
    QPushButton* ok_;
};

} // namespace orvexa
