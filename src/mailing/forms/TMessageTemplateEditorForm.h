// The dialog that edits one message template, "Template editor": name, subject, reply-to line,
// body and HTML body (kept beside the template; empty: none). In create mode (edit mode false) its OK refuses a name whose file already exists.
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
    // The HTML body as lines (none when the field is empty).
    QStringList htmlLines() const;
    void setHtmlLines(const QStringList& lines);

    int ShowModal();

    QLineEdit* NameEdit;
    QLineEdit* SubjectEdit;
    QLineEdit* ReplyToEdit;
    QPlainTextEdit* MessageEdit;
    QPlainTextEdit* HtmlEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();

    UserInterface& ui_;
};

} // namespace quillet
