// "Edit group parameters": the name and description of a new or edited group.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace quillet {

class LogoPicture;

class TEditGroupParamsForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditGroupParamsForm(QWidget* parent = nullptr);

    LogoPicture* Image1 = nullptr;
    QLineEdit* GroupNameEdit = nullptr;
    QLineEdit* DescriptionEdit = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

} // namespace quillet
