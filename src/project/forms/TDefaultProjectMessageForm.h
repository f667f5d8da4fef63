// The question "Default project already exist": "Open" (modal result 1, the default button)
// opens the existing default project, "Overwrite" (modal result 2) goes on creating a new one.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillet {

class TDefaultProjectMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TDefaultProjectMessageForm(QWidget* parent = nullptr);

    QLabel* MessageLabel = nullptr;
    QPushButton* OpenButton = nullptr;
    QPushButton* OverwriteButton = nullptr;
};

} // namespace quillet
