// The About box: the icon, the program's line, and a second line naming the program's version and the
// firmware it carries. It has no behaviour beyond "OK".
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace orvexa {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(const std::string& carriedIdentity, QWidget* parent = nullptr);

    static QString versionLine(const std::string& carriedIdentity);

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
