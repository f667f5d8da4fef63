// The typed ids of the main window's actions. A window finds an action by its id, never by a
// name that could silently miss; the name is the action's object name (and the word the menu
// and toolbar layout file stores).
//
// To add an action: add its id here (the list order is the order of the ids only; the menu
// order is the action list's) and its definition to the main window's action list. The main
// window refuses to start when an id has no definition.
#pragma once

#include <QString>

#include <optional>

namespace quillet {

#define QUILLET_ACTION_IDS(X)                                                                                          \
    X(CreateDefaultAction)                                                                                             \
    X(NewProjectAction)                                                                                                \
    X(OpenDefaultAction)                                                                                               \
    X(OpenProjectAction)                                                                                               \
    X(SaveProjectAction)                                                                                               \
    X(SaveAsAction)                                                                                                    \
    X(ProjectPropAction)                                                                                               \
    X(ExitAction)                                                                                                      \
    X(HowToUseAction)                                                                                                  \
    X(HomePageAction)                                                                                                  \
    X(MailToUsAction)                                                                                                  \
    X(AboutAction)                                                                                                     \
    X(ProgOptionsAction)                                                                                               \
    X(CustomizeActionBars)                                                                                             \
    X(MailServerAction)                                                                                                \
    X(NewRecipientGroupAction)                                                                                         \
    X(EditGroupAction)                                                                                                 \
    X(DeleteGroupAction)                                                                                               \
    X(EMailToGroupAction)                                                                                              \
    X(NewRecipientAction)                                                                                              \
    X(EditRecipientAction)                                                                                             \
    X(DeleteRecipientAction)                                                                                           \
    X(EnableRecipientAction)                                                                                           \
    X(SelectAllAction)                                                                                                 \
    X(CopyToGroupAction)                                                                                               \
    X(MoveToGroupAction)                                                                                               \
    X(EMailToCurrentAction)                                                                                            \
    X(NewSMTPAction)                                                                                                   \
    X(EditSMTPAction)                                                                                                  \
    X(DelSMTPAction)                                                                                                   \
    X(EnableSMTPAction)                                                                                                \
    X(NewTemplateAction)                                                                                               \
    X(EditTemplateAction)                                                                                              \
    X(DeltemplateAction)                                                                                               \
    X(FindRecipientAction)                                                                                             \
    X(FindInFilesAction)                                                                                               \
    X(ExportToAHTMLAction)                                                                                             \
    X(ImportRecipientsAction)                                                                                          \
    X(ExportRecipientsAction)                                                                                          \
    X(RunsAction)

enum class ActionId {
#define QUILLET_ACTION_ID_ENUM(name) name,
    QUILLET_ACTION_IDS(QUILLET_ACTION_ID_ENUM)
#undef QUILLET_ACTION_ID_ENUM
};

// How many ids there are.
inline constexpr int kActionIdCount = 0
#define QUILLET_ACTION_ID_COUNT(name) +1
    QUILLET_ACTION_IDS(QUILLET_ACTION_ID_COUNT)
#undef QUILLET_ACTION_ID_COUNT
    ;

// The action's object name: "SaveProjectAction" for ActionId::SaveProjectAction.
QString actionName(ActionId id);
// The id of an object name; none for a name that is no action's.
std::optional<ActionId> actionIdOf(const QString& name);

} // namespace quillet
