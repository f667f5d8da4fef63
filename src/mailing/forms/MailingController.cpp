#include "MailingController.h"

namespace quillet {

MailingController::MailingController(TOrvQuilletForm& mainWindow) : QObject(nullptr), mainWindow_(mainWindow)
{
}

} // namespace quillet
