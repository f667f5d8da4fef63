// Macro substitution of one line for one recipient, every field taken from the input (lines:
// the text, then e-mail, name, surname, author name, web and e-mail, four parameter names and
// four values). It ends in a text or in EMacroSubstitutionError; a result without "%" is left
// unchanged by a second substitution, and a recipient's macros gathered once give the same.
#include "FuzzSupport.h"

#include "mailing/MacroSubstitution.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields fields(fuzz::bytes(data, size), '\n');
    const std::string_view text = fields.next();
    RecipientRecord record;
    ProjectProperties project;
    for (ShortString255* field :
         {&record.EMail, &record.Name, &record.Surname, &project.AutorName, &project.AutorWEB, &project.AutorEmail})
        field->set(fields.next());
    for (int i = 0; i < 4; ++i)
        record.paramName(i).set(fields.next());
    for (int i = 0; i < 4; ++i)
        record.paramValue(i).set(fields.next());
    const MacroRecipient recipient = MacroRecipient::fromRecord(record);
    try {
        const std::string result = SubstituteMacros(text, recipient, project);
        if (result.find('%') == std::string::npos)
            QUILLET_FUZZ_CHECK(SubstituteMacros(result, recipient, project) == result);
        // The recipient's macros gathered once give the same text.
        QUILLET_FUZZ_CHECK(RecipientMacros(recipient, project).Substitute(text) == result);
    } catch (const EMacroSubstitutionError&) {
        bool refused = false;
        try {
            RecipientMacros(recipient, project).Substitute(text);
        } catch (const EMacroSubstitutionError&) {
            refused = true;
        }
        QUILLET_FUZZ_CHECK(refused);
    }
    return 0;
}
