// The dialog that edits one message template, "Template editor": name, subject, reply-to line
// and body. In create mode (edit mode false) its OK refuses a name whose file already exists.
#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class UserInterface;

class TMessageTemplateEditorForm : public QDialog {
    Q_OBJECT
public:
    TMessageTemplateEditorForm(UserInterface& ui, QWidget* parent = nullptr);

    // Tells whether a template file of that name exists already (asked by OK in create mode).
    std::function<bool(const QString& name)> templateExists;

    bool editMode = false;

    // The body as lines, one per line of the editor.
    QStringList messageLines() const;
    void setMessageLines(const QStringList& lines);

    int ShowModal();

    QLineEdit* NameEdit;
    QLineEdit* SubjectEdit;
    QLineEdit* ReplyToEdit;
    QPlainTextEdit* MessageEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();

    UserInterface& ui_;
};

} // namespace quillet
