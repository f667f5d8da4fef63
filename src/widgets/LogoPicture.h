// The logo picture on the left of several dialogs: the Windows bitmap "qlogo.dat" of the program
// folder, stretched to 140 x 223 pixels, read again every time the dialog is shown. A missing or
// unreadable file shows an empty area; the dialog works all the same.
#pragma once

#include <QLabel>

namespace quillet {

class LogoPicture : public QLabel {
    Q_OBJECT
public:
    explicit LogoPicture(QWidget* parent = nullptr);
    // Reads the file again; true when a picture is shown.
    bool reload();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace quillet
