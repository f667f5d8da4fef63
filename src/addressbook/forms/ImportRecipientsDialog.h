// "Import recipients": the CSV file, how it is read (separator, encoding), what each of its
// columns becomes (one combo box per column; a field takes one column), a preview of the first
// rows as they will be imported (refused rows marked, with their reason), the rule for
// duplicates and the target group (an existing one, or a new name). Parameter names that the
// templates' macros or the group's parameters write in another letter case are offered in theirs.
//
// The dialog only reads the file and shows what would happen; importRecipients() below runs the
// import itself once the dialog is accepted.
#pragma once

#include "addressbook/CsvImport.h"
#include "addressbook/CsvMappingChoices.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quillet {

class UserInterface;

class ImportRecipientsDialog : public QDialog {
    Q_OBJECT
public:
    ImportRecipientsDialog(UserInterface& ui, const Project& project, QWidget* parent = nullptr);

    // Called before every showing: the groups refilled, the given one chosen, the templates'
    // macro names read.
    void prepareToShow(const std::string& group);
    // Reads the file named in FileNameEdit with the chosen separator and encoding, maps its
    // columns by their headers and fills the column combo boxes and the preview.
    void loadFile();

    // After OK: the file, its mapping (checked) and the settings of the import.
    const CsvDocument& document() const { return *document_; }
    const CsvMapping& mapping() const { return mapping_; }
    CsvImportSettings settings() const;

    QLineEdit* FileNameEdit = nullptr;
    QPushButton* OpenFileBtn = nullptr;
    QComboBox* SeparatorComboBox = nullptr;
    QComboBox* EncodingComboBox = nullptr;
    QTableWidget* ColumnsTable = nullptr;    // per column: header, first value, "Imported as" combo
    QTableWidget* PreviewTable = nullptr;    // the first rows as they will be imported
    QComboBox* DuplicatesComboBox = nullptr; // skip, update, keep
    QComboBox* GroupComboBox = nullptr;      // editable: a name no group has makes a new group
    QLabel* NoteLabel = nullptr;             // what the marked preview rows mean (import still possible)
    QCheckBox* NameCaseCheck = nullptr;      // shown when parameter names are offered another letter case
    QLabel* StatusLabel = nullptr;           // what is wrong with the file or the mapping
    QPushButton* ImportButton = nullptr;     // "Import" (OK)
    QPushButton* CancelButton = nullptr;

    // The combo box of a file column ("Imported as").
    QComboBox* columnCombo(int column) const;

    static const char* const kFileFilter;
    static constexpr int kPreviewRows = 10;

private:
    void OpenFileBtnClick();
    void ColumnComboChange(int column);
    void offerNameCase();
    void applyNameCase();
    void refreshPreview();
    void showProblem(const QString& text);

    UserInterface& ui_;
    const Project& project_;
    std::optional<CsvDocument> document_;
    CsvMapping mapping_;
    bool filling_ = false;
    std::vector<std::string> macroNames_; // of the templates, read at each showing
    std::vector<CsvNameCase> caseOffers_;
};

// The whole import from the desktop: the dialog, then reading every row with a progress window
// whose Cancel changes nothing, then the recipients added at once (a new group made first), then
// the report (savable as a text file). `applied`, when given, is called with the group's position
// once the recipients are in and before the report shows, so that the window behind it shows
// them. Returns the position of the group the recipients went to, or nothing when the project was
// not changed.
std::optional<std::size_t> importRecipients(UserInterface& ui, Project& project, ImportRecipientsDialog& dialog,
                                            QWidget* parent, const std::string& selectedGroup,
                                            const std::function<void(std::size_t)>& applied = {});

// "Export recipients": the recipients of the group (or of every group) written as CSV to a
// file the user chooses; a message then says where and how many. False when the user cancelled
// or the file could not be written (its message is shown).
bool exportRecipients(UserInterface& ui, const Project& project, QWidget* parent,
                      const std::optional<std::string>& group);

} // namespace quillet
