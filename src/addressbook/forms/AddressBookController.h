// Binds the address-book actions (groups, recipients, find, harvesting, HTML export) of the main window to their handlers and dialogs.
#pragma once

#include <QObject>

namespace quillet {

class TOrvQuilletForm;

class AddressBookController : public QObject {
    Q_OBJECT
public:
    explicit AddressBookController(TOrvQuilletForm& mainWindow);

private:
    TOrvQuilletForm& mainWindow_;
};

} // namespace quillet
