#include "RecipientChecks.h"

#include "ProjectCommandTexts.h"
#include "Terminal.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/AddressValidity.h"

#include <stdexcept>

namespace quillet::cli {

// Fails with the reason unless the address is valid or --force is set.
void requireValidAddress(const QCommandLineParser& parser, const std::string& address)
{
    const AddressProblem problem = addressProblem(address);
    if (problem != AddressProblem::None && !parser.isSet("force"))
        throw std::runtime_error(quillet::texts::invalidAddress(address, describeAddressProblem(problem)));
}

// Notes on standard error when another recipient of the group has the address.
void noteDuplicate(const Project& project, const std::string& group, const std::string& address,
                   const RecipientRecord* except)
{
    const std::string key = addressKey(address);
    for (const RecipientRecord& r : project.recipients)
        if (&r != except && r.Group == group && addressKey(r.EMail.view()) == key) {
            printErr(texts::duplicateRecipient(address, group) + "\n");
            return;
        }
}

} // namespace quillet::cli
