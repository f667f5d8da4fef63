#include "AddressBookController.h"

namespace quillet {

AddressBookController::AddressBookController(TOrvQuilletForm& mainWindow) : QObject(nullptr), mainWindow_(mainWindow)
{
}

} // namespace quillet
