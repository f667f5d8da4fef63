// Binds the mailing actions (templates page, SMTP accounts page, send window and its runs) of the main window to their handlers and dialogs.
#pragma once

#include <QObject>

namespace quillet {

class TOrvQuilletForm;

class MailingController : public QObject {
    Q_OBJECT
public:
    explicit MailingController(TOrvQuilletForm& mainWindow);

private:
    TOrvQuilletForm& mainWindow_;
};

} // namespace quillet
