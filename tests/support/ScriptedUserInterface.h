// A UserInterface for window tests: answers come from queues filled in advance, and every
// prompt is recorded so a test can check captions, texts, icons and buttons.
#pragma once

#include "widgets/UserInterface.h"

#include <QAction>
#include <QDialog>
#include <QMenu>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace quillet::test {

struct RecordedPrompt {
    QString kind; // "message", "dialog", "open", "openMany", "save", "input", "popup", "desktop"
    QString caption;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    QString dialogClass; // the dialog's objectName for "dialog"
};

class ScriptedUserInterface : public UserInterface {
public:
    std::vector<RecordedPrompt> prompts;
    // Answers of message boxes; when empty, an OK box answers mrOk and any other mrCancel.
    std::deque<int> messageAnswers;
    // Scripts for modal dialogs: each gets the dialog (fill its fields) and returns the modal
    // result. When empty, a dialog answers mrCancel.
    std::deque<std::function<int(QDialog&)>> dialogScripts;
    std::deque<QString> fileAnswers;                 // open/save: empty text = cancelled
    std::deque<QStringList> manyFileAnswers;         // multi-select open
    std::deque<std::optional<QString>> inputAnswers; // nullopt = cancelled
    std::deque<QString> popupAnswers;                // text of the action to choose; empty = none
    QStringList opened;                              // everything handed to the desktop
    bool desktopOpens = true;                        // false: as if no program could be started
    int processEventsCalls = 0;
    // Called on every processEvents() (tests use it to press buttons during a run).
    std::function<void()> onProcessEvents;
    // Called as every message box opens (tests look at the windows around it).
    std::function<void(const RecordedPrompt&)> onMessage;

    int messageBox(QWidget*, const QString& text, const QString& caption, MessageIcon icon,
                   MessageButtons buttons) override
    {
        prompts.push_back({"message", caption, text, icon, buttons, {}});
        if (onMessage)
            onMessage(prompts.back());
        if (messageAnswers.empty())
            return buttons == MessageButtons::Ok ? mrOk : mrCancel;
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    int showModal(QDialog& dialog) override
    {
        prompts.push_back(
            {"dialog", dialog.windowTitle(), {}, MessageIcon::None, MessageButtons::Ok, dialog.objectName()});
        if (dialogScripts.empty())
            return mrCancel;
        auto script = std::move(dialogScripts.front());
        dialogScripts.pop_front();
        return script(dialog);
    }
    QString openFileName(QWidget*, const FileDialogOptions& options) override
    {
        prompts.push_back({"open", options.title, options.filter, MessageIcon::None, MessageButtons::Ok, {}});
        return next(fileAnswers);
    }
    QStringList openFileNames(QWidget*, const FileDialogOptions& options) override
    {
        prompts.push_back({"openMany", options.title, options.filter, MessageIcon::None, MessageButtons::Ok, {}});
        if (manyFileAnswers.empty())
            return {};
        QStringList answer = manyFileAnswers.front();
        manyFileAnswers.pop_front();
        return answer;
    }
    QString saveFileName(QWidget*, const FileDialogOptions& options) override
    {
        prompts.push_back({"save", options.title, options.filter, MessageIcon::None, MessageButtons::Ok, {}});
        return next(fileAnswers);
    }
    bool inputBox(QWidget*, const QString& caption, const QString& prompt, QString& value) override
    {
        prompts.push_back({"input", caption, prompt, MessageIcon::None, MessageButtons::Ok, {}});
        if (inputAnswers.empty())
            return false;
        auto answer = inputAnswers.front();
        inputAnswers.pop_front();
        if (!answer)
            return false;
        value = *answer;
        return true;
    }
    bool openWithDesktop(const QString& pathOrUrl) override
    {
        prompts.push_back({"desktop", {}, pathOrUrl, MessageIcon::None, MessageButtons::Ok, {}});
        opened << pathOrUrl;
        return desktopOpens;
    }
    QAction* popupMenu(QMenu& menu, const QPoint&) override
    {
        prompts.push_back({"popup", menu.title(), {}, MessageIcon::None, MessageButtons::Ok, {}});
        const QString choice = next(popupAnswers);
        for (QAction* action : menu.actions())
            if (!choice.isEmpty() && action->text().remove('&') == choice)
                return action;
        return nullptr;
    }
    void processEvents() override
    {
        ++processEventsCalls;
        if (onProcessEvents)
            onProcessEvents();
    }

    // The recorded message boxes only.
    std::vector<RecordedPrompt> messages() const
    {
        std::vector<RecordedPrompt> result;
        for (const auto& p : prompts)
            if (p.kind == "message")
                result.push_back(p);
        return result;
    }
    // The texts of the recorded message boxes, in order.
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto& p : prompts)
            if (p.kind == "message")
                texts << p.text;
        return texts;
    }

private:
    static QString next(std::deque<QString>& queue)
    {
        if (queue.empty())
            return {};
        QString answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

} // namespace quillet::test
