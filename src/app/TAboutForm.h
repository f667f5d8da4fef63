// The window "About Orv Quillet": the program's name and version, the logo picture, a read-only
// text, "OK",
// and the buttons "E-Mail" and "Home Page", which do what the actions of the same names do.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class LogoPicture;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    LogoPicture* Image1 = nullptr;
    QLabel* VersionLabel = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* EMailButton = nullptr;
    QPushButton* HomePageButton = nullptr;

signals:
    void mailToUsRequested();
    void homePageRequested();
};

} // namespace quillet
