// Every modal interaction of the windows goes through this interface: message boxes, modal
// dialogs, file dialogs, the input box, the desktop's "open", pop-up menus and processing
// pending events. The desktop program uses QtUserInterface; tests use a scripted one that
// answers from a queue and records every prompt.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

class QDialog;
class QMenu;
class QAction;
class QWidget;

namespace quillet {

enum class MessageIcon { None, Information, Warning, Question, Stop };
// YesNoDefaultNo: Yes and No with No the default, for a question whose Yes is a risk.
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
// Modal results: OK 1, Cancel 2 (also the close box), Yes 6, No 7.
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct FileDialogOptions {
    QString title;
    QString filter;        // in the form "Orv Quillet Files|*.oqf" (description|patterns, repeated)
    QString defaultSuffix; // without the dot, e.g. "oqf"
    QString initialPath;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Shows a modal message box and returns the button pressed (mrOk, mrCancel, mrYes, mrNo).
    virtual int messageBox(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                           MessageButtons buttons) = 0;
    // Shows the dialog modally and returns its modal result (mrOk, mrCancel, ...).
    virtual int showModal(QDialog& dialog) = 0;
    // File dialogs: an empty result (or list) means the user cancelled.
    virtual QString openFileName(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual QStringList openFileNames(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual QString saveFileName(QWidget* parent, const FileDialogOptions& options) = 0;
    // The system input box: returns false when cancelled; value holds the initial and the new text.
    virtual bool inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value) = 0;
    // Opens a file, folder or URL with the desktop's default program; false when no program
    // could be started for it (DesktopOpen.h says so to the user).
    virtual bool openWithDesktop(const QString& pathOrUrl) = 0;
    // Shows a pop-up menu at a global position; returns the chosen action or nullptr.
    virtual QAction* popupMenu(QMenu& menu, const QPoint& globalPos) = 0;
    // Lets the window system process pending events (the anti-freeze hook).
    virtual void processEvents() = 0;
};

// The program's user interface: real Qt dialogs and message boxes.
class QtUserInterface : public UserInterface {
public:
    int messageBox(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                   MessageButtons buttons) override;
    int showModal(QDialog& dialog) override;
    QString openFileName(QWidget* parent, const FileDialogOptions& options) override;
    QStringList openFileNames(QWidget* parent, const FileDialogOptions& options) override;
    QString saveFileName(QWidget* parent, const FileDialogOptions& options) override;
    bool inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value) override;
    bool openWithDesktop(const QString& pathOrUrl) override;
    QAction* popupMenu(QMenu& menu, const QPoint& globalPos) override;
    void processEvents() override;
};

} // namespace quillet
