#include "ImportRecipientsDialog.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/CsvExport.h"
#include "addressbook/GroupOperations.h"
#include "mailing/TemplateStore.h"
#include "widgets/DialogButtons.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"
#include "project/CodePage.h"
#include "project/ProgramFolder.h"
#include "project/WholeFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillet {

namespace {

QString qt(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The choices of a column's combo box: a field, and for the paired parameter columns a slot.
struct ColumnChoice {
    CsvField field;
    int slot;
};
std::vector<ColumnChoice> columnChoices()
{
    std::vector<ColumnChoice> choices;
    for (int f = 0; f <= static_cast<int>(CsvField::Parameter); ++f)
        choices.push_back({static_cast<CsvField>(f), -1});
    for (int slot = 0; slot < 4; ++slot) {
        choices.push_back({CsvField::ParameterName, slot});
        choices.push_back({CsvField::ParameterValue, slot});
    }
    return choices;
}

int choiceOf(const CsvColumn& column)
{
    const std::vector<ColumnChoice> choices = columnChoices();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].field == column.field && (choices[i].slot < 0 || choices[i].slot == column.slot))
            return int(i);
    return 0;
}

// A refused row's cells in the preview.
const QColor kRefusedRowColour(255, 222, 222);

// Code-page text of a preview cell.
QTableWidgetItem* cell(const std::string& text)
{
    auto* item = new QTableWidgetItem(toQt(text));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// The import's report in a dialog of its own, with a button that saves it as a text file.
class ImportReportDialog : public QDialog {
public:
    ImportReportDialog(UserInterface& ui, const std::string& report, QWidget* parent) : QDialog(parent), ui_(ui)
    {
        setObjectName("ImportReportDialog");
        setWindowTitle(qt(texts::kImportReportCaption));
        auto* text = new QPlainTextEdit(toQt(report));
        text->setObjectName("ReportEdit");
        text->setReadOnly(true);
        text->setMinimumSize(480, 240);
        auto* save = new QPushButton("Save report...");
        save->setObjectName("SaveReportButton");
        save->setAutoDefault(false);
        auto* ok = new QPushButton("OK");
        ok->setObjectName("OKButton");
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        connect(save, &QPushButton::clicked, this, [this, report] { saveReport(report); });
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(save);
        buttons->addStretch();
        buttons->addWidget(ok);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(text);
        layout->addLayout(buttons);
    }

private:
    void saveReport(const std::string& report)
    {
        FileDialogOptions options;
        options.title = qt(texts::kImportReportCaption);
        options.filter = qt(texts::kTextFileFilter);
        options.defaultSuffix = "txt";
        const QString file = ui_.saveFileName(this, options);
        if (file.isEmpty())
            return;
        try {
            writeWholeFile(QFile::encodeName(file).toStdString(), codePageToUtf8(report));
        } catch (const std::exception& error) {
            ui_.messageBox(this, toQt(error.what()), qt(texts::kErrorCaption), MessageIcon::Stop, MessageButtons::Ok);
        }
    }

    UserInterface& ui_;
};

} // namespace

const char* const ImportRecipientsDialog::kFileFilter = texts::kCsvFileFilter.data();

ImportRecipientsDialog::ImportRecipientsDialog(UserInterface& ui, const Project& project, QWidget* parent)
    : QDialog(parent), ui_(ui), project_(project)
{
    setObjectName("ImportRecipientsDialog");
    setWindowTitle(qt(texts::kImportRecipientsCaption));

    FileNameEdit = new QLineEdit;
    FileNameEdit->setObjectName("FileNameEdit");
    OpenFileBtn = new QPushButton;
    OpenFileBtn->setObjectName("OpenFileBtn");
    OpenFileBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    OpenFileBtn->setAutoDefault(false);
    SeparatorComboBox = new QComboBox;
    SeparatorComboBox->setObjectName("SeparatorComboBox");
    SeparatorComboBox->addItem(qt(texts::kDetect), 0);
    SeparatorComboBox->addItem("Comma", int(','));
    SeparatorComboBox->addItem("Semicolon", int(';'));
    SeparatorComboBox->addItem("Tab", int('\t'));
    EncodingComboBox = new QComboBox;
    EncodingComboBox->setObjectName("EncodingComboBox");
    EncodingComboBox->addItem(qt(texts::kDetect), QString());
    for (const char* encoding : {"UTF-8", "UTF-16", "CP1252", "ISO-8859-1", "CP932", "GBK", "BIG5", "CP949"})
        EncodingComboBox->addItem(encoding, QString(encoding));

    ColumnsTable = new QTableWidget(0, 3);
    ColumnsTable->setObjectName("ColumnsTable");
    ColumnsTable->setHorizontalHeaderLabels({"Column", "First value", "Imported as"});
    ColumnsTable->horizontalHeader()->setStretchLastSection(true);
    ColumnsTable->verticalHeader()->setVisible(false);
    PreviewTable = new QTableWidget(0, 0);
    PreviewTable->setObjectName("PreviewTable");
    PreviewTable->verticalHeader()->setVisible(false);
    PreviewTable->setMinimumHeight(160);

    DuplicatesComboBox = new QComboBox;
    DuplicatesComboBox->setObjectName("DuplicatesComboBox");
    DuplicatesComboBox->addItem("Skip addresses already in the group", int(DuplicateRule::Skip));
    DuplicatesComboBox->addItem("Update the recipients already in the group", int(DuplicateRule::Update));
    DuplicatesComboBox->addItem("Keep duplicates", int(DuplicateRule::Keep));
    GroupComboBox = new QComboBox;
    GroupComboBox->setObjectName("GroupComboBox");
    GroupComboBox->setEditable(true);
    GroupComboBox->setInsertPolicy(QComboBox::NoInsert);
    StatusLabel = new QLabel;
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);
    NoteLabel = new QLabel;
    NoteLabel->setObjectName("NoteLabel");
    NoteLabel->setWordWrap(true);
    NameCaseCheck = new QCheckBox;
    NameCaseCheck->setObjectName("NameCaseCheck");
    NameCaseCheck->setChecked(true);
    NameCaseCheck->setVisible(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("File"), 0, 0);
    grid->addWidget(FileNameEdit, 0, 1, 1, 3);
    grid->addWidget(OpenFileBtn, 0, 4);
    grid->addWidget(new QLabel("Separator"), 1, 0);
    grid->addWidget(SeparatorComboBox, 1, 1);
    grid->addWidget(new QLabel("Encoding"), 1, 2);
    grid->addWidget(EncodingComboBox, 1, 3);
    grid->addWidget(new QLabel("Duplicates"), 2, 0);
    grid->addWidget(DuplicatesComboBox, 2, 1, 1, 3);
    grid->addWidget(new QLabel("Add to group"), 3, 0);
    grid->addWidget(GroupComboBox, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Cancel);
    ImportButton = buttons.ok;
    ImportButton->setText("Import");
    CancelButton = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel("Columns"));
    layout->addWidget(ColumnsTable);
    layout->addWidget(NameCaseCheck);
    layout->addWidget(new QLabel("The first rows as they will be imported"));
    layout->addWidget(PreviewTable);
    layout->addWidget(NoteLabel);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons.row);
    resize(720, 600);

    connect(OpenFileBtn, &QPushButton::clicked, this, &ImportRecipientsDialog::OpenFileBtnClick);
    connect(FileNameEdit, &QLineEdit::editingFinished, this, &ImportRecipientsDialog::loadFile);
    connect(SeparatorComboBox, &QComboBox::currentIndexChanged, this, &ImportRecipientsDialog::loadFile);
    connect(EncodingComboBox, &QComboBox::currentIndexChanged, this, &ImportRecipientsDialog::loadFile);
    connect(NameCaseCheck, &QCheckBox::toggled, this, [this] {
        applyNameCase();
        if (document_)
            refreshPreview();
    });
    connect(GroupComboBox, &QComboBox::currentIndexChanged, this, [this] {
        if (filling_ || !document_)
            return;
        offerNameCase();
        refreshPreview();
    });
}

void ImportRecipientsDialog::prepareToShow(const std::string& group)
{
    macroNames_ = TemplateMacroNames(TemplateStore(templatesFolder()));
    filling_ = true;
    GroupComboBox->clear();
    for (const GroupEntry& entry : project_.groups)
        GroupComboBox->addItem(toQt(entry.name));
    GroupComboBox->setEditText(toQt(group));
    filling_ = false;
    loadFile();
}

QComboBox* ImportRecipientsDialog::columnCombo(int column) const
{
    return qobject_cast<QComboBox*>(ColumnsTable->cellWidget(column, 2));
}

CsvImportSettings ImportRecipientsDialog::settings() const
{
    CsvImportSettings settings;
    settings.group = ShortString255(utf8ToCodePageForMessage(GroupComboBox->currentText().toStdString())).str();
    settings.duplicates = static_cast<DuplicateRule>(DuplicatesComboBox->currentData().toInt());
    settings.codePage = codePageName();
    return settings;
}

void ImportRecipientsDialog::OpenFileBtnClick()
{
    FileDialogOptions options;
    options.title = qt(texts::kChooseCsvFile);
    options.filter = kFileFilter;
    options.initialPath = FileNameEdit->text();
    const QString file = ui_.openFileName(this, options);
    if (file.isEmpty())
        return;
    FileNameEdit->setText(file);
    loadFile();
}

void ImportRecipientsDialog::loadFile()
{
    document_.reset();
    caseOffers_.clear();
    NameCaseCheck->setVisible(false);
    NoteLabel->clear();
    filling_ = true;
    ColumnsTable->setRowCount(0);
    PreviewTable->clear();
    PreviewTable->setRowCount(0);
    PreviewTable->setColumnCount(0);
    filling_ = false;
    if (FileNameEdit->text().isEmpty()) {
        showProblem({});
        return;
    }
    CsvFormat format;
    format.separator = char(SeparatorComboBox->currentData().toInt());
    format.encoding = EncodingComboBox->currentData().toString().toStdString();
    try {
        document_ = readCsvFile(QFile::encodeName(FileNameEdit->text()).toStdString(), format, codePageName());
    } catch (const std::exception& error) {
        showProblem(toQt(error.what()));
        return;
    }
    mapping_ = automaticCsvMapping(*document_, codePageName());
    dropRepeatedCsvFields(mapping_);
    offerNameCase();

    filling_ = true;
    const std::vector<ColumnChoice> choices = columnChoices();
    ColumnsTable->setRowCount(int(mapping_.columns.size()));
    for (int c = 0; c < int(mapping_.columns.size()); ++c) {
        const std::string& first = document_->header[std::size_t(c)];
        ColumnsTable->setItem(c, 0,
                              new QTableWidgetItem(document_->hasHeader ? QString::fromStdString(first)
                                                                        : QString::number(c + 1)));
        const std::size_t column = std::size_t(c);
        const std::string value = column < document_->firstValues.size() ? document_->firstValues[column] : "";
        ColumnsTable->setItem(c, 1, new QTableWidgetItem(QString::fromStdString(value)));
        auto* combo = new QComboBox;
        combo->setObjectName("ColumnCombo" + QString::number(c + 1));
        for (const ColumnChoice& choice : choices)
            combo->addItem(choice.slot < 0 ? qt(texts::kCsvFieldNames[int(choice.field)])
                                           : qt(texts::csvParameterSlotName(choice.slot,
                                                                            choice.field == CsvField::ParameterValue)));
        combo->setCurrentIndex(choiceOf(mapping_.columns[std::size_t(c)]));
        connect(combo, &QComboBox::currentIndexChanged, this, [this, c] { ColumnComboChange(c); });
        ColumnsTable->setCellWidget(c, 2, combo);
    }
    filling_ = false;
    refreshPreview();
}

void ImportRecipientsDialog::ColumnComboChange(int c)
{
    if (filling_ || !document_)
        return;
    QComboBox* combo = columnCombo(c);
    const ColumnChoice choice = columnChoices()[std::size_t(combo->currentIndex())];
    const std::size_t index = std::size_t(c);
    CsvColumn wanted = mapping_.columns[index];
    wanted.field = choice.field;
    wanted.slot = choice.slot;
    if (choice.field == CsvField::Parameter && wanted.parameterName.empty())
        wanted.parameterName = document_->hasHeader && !document_->header[index].empty()
                                   ? utf8ToCodePageForMessage(document_->header[index])
                                   : "COLUMN" + std::to_string(c + 1);
    // A field takes one column: the choice is refused while another column holds it.
    if (const std::optional<std::size_t> other = csvColumnHoldingField(mapping_, index, wanted)) {
        filling_ = true;
        combo->setCurrentIndex(choiceOf(mapping_.columns[index]));
        filling_ = false;
        std::string field = combo->itemText(choiceOf(wanted)).toStdString();
        if (wanted.field == CsvField::Parameter)
            field = texts::csvParameterField(codePageToUtf8(wanted.parameterName));
        const std::string header = document_->hasHeader ? document_->header[*other] : std::string();
        ui_.messageBox(this, qt(texts::csvFieldTaken(*other, header, field)), qt(texts::kImportRecipientsCaption),
                       MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    mapping_.columns[index] = wanted;
    applyNameCase();
    refreshPreview();
}

void ImportRecipientsDialog::offerNameCase()
{
    // Names offered for another group go back to the header's letter case first.
    for (const CsvNameCase& offer : caseOffers_)
        if (mapping_.columns[offer.column].field == CsvField::Parameter &&
            mapping_.columns[offer.column].parameterName == offer.to)
            mapping_.columns[offer.column].parameterName = offer.from;
    caseOffers_ = csvParameterCaseOffers(mapping_, csvKnownParameterNames(project_, settings().group, macroNames_));
    std::string pairs;
    for (const CsvNameCase& offer : caseOffers_)
        pairs += (pairs.empty() ? "" : ", ") + texts::quoted(offer.from) + " as " + texts::quoted(offer.to);
    NameCaseCheck->setText(toQt(texts::csvParameterCaseOffer(pairs)));
    NameCaseCheck->setVisible(!caseOffers_.empty());
    applyNameCase();
}

void ImportRecipientsDialog::applyNameCase()
{
    const bool known = NameCaseCheck->isChecked();
    for (const CsvNameCase& offer : caseOffers_) {
        CsvColumn& column = mapping_.columns[offer.column];
        if (column.field == CsvField::Parameter &&
            (column.parameterName == offer.from || column.parameterName == offer.to))
            column.parameterName = known ? offer.to : offer.from;
    }
}

void ImportRecipientsDialog::refreshPreview()
{
    PreviewTable->clear();
    PreviewTable->setRowCount(0);
    NoteLabel->clear();
    try {
        resolveCsvMapping(mapping_, *document_);
    } catch (const CsvImportError& error) {
        showProblem(toQt(error.what()));
        return;
    }
    const std::vector<CsvRow> rows = previewCsvRows(*document_, mapping_, settings(), kPreviewRows);
    QStringList headers{"Line", "E-mail", "Name", "Surname", "Enabled"};
    for (int slot = 0; slot < 4; ++slot)
        headers << "Parameter " + QString::number(slot + 1);
    headers << "Problem";
    PreviewTable->setColumnCount(int(headers.size()));
    PreviewTable->setHorizontalHeaderLabels(headers);
    PreviewTable->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const CsvRow& row = rows[std::size_t(r)];
        PreviewTable->setItem(r, 0, cell(std::to_string(row.line)));
        PreviewTable->setItem(r, 1, cell(row.email));
        PreviewTable->setItem(r, 2, cell(row.name));
        PreviewTable->setItem(r, 3, cell(row.surname));
        PreviewTable->setItem(r, 4, cell(std::string(row.enabled ? kTrue : kFalse)));
        for (int slot = 0; slot < 4; ++slot)
            if (!row.paramNames[slot].empty() || !row.paramValues[slot].empty())
                PreviewTable->setItem(r, 5 + slot, cell(row.paramNames[slot] + "=" + row.paramValues[slot]));
        PreviewTable->setItem(r, 9, cell(row.problem));
        if (row.problem.empty())
            continue;
        // A row the import will refuse: every cell tinted, the reason on hover, a sign on its line.
        for (int column = 0; column < PreviewTable->columnCount(); ++column) {
            if (!PreviewTable->item(r, column))
                PreviewTable->setItem(r, column, cell({}));
            PreviewTable->item(r, column)->setBackground(kRefusedRowColour);
            PreviewTable->item(r, column)->setToolTip(toQt(row.problem));
        }
        PreviewTable->item(r, 0)->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    }
    PreviewTable->resizeColumnsToContents();
    NoteLabel->setText(toQt(csvRefusedRowsNote(rows, settings().codePage)));
    showProblem({});
}

void ImportRecipientsDialog::showProblem(const QString& text)
{
    StatusLabel->setText(text);
    ImportButton->setEnabled(text.isEmpty() && document_.has_value());
}

std::optional<std::size_t> importRecipients(UserInterface& ui, Project& project, ImportRecipientsDialog& dialog,
                                            QWidget* parent, const std::string& selectedGroup,
                                            const std::function<void(std::size_t)>& applied)
{
    dialog.prepareToShow(selectedGroup);
    if (ui.showModal(dialog) != mrOk)
        return std::nullopt;
    const CsvImportSettings settings = dialog.settings();

    CsvImportPlan plan;
    QProgressDialog progress(qt(texts::kImportProgressText), "Cancel", 0, 1000, parent);
    progress.setObjectName("ImportProgress");
    progress.setWindowTitle(qt(texts::kImportRecipientsCaption));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    try {
        plan = planCsvImport(project, dialog.document(), dialog.mapping(), settings,
                             [&](std::size_t done, std::size_t total) {
                                 progress.setValue(total ? int(done * 1000 / total) : 1000);
                                 ui.processEvents();
                                 return !progress.wasCanceled();
                             });
    } catch (const CsvImportCancelled&) {
        progress.close();
        ui.messageBox(parent, qt(texts::kCsvImportCancelled), qt(texts::kInformationCaption), MessageIcon::Information,
                      MessageButtons::Ok);
        return std::nullopt;
    } catch (const CsvImportError& error) {
        progress.close();
        ui.messageBox(parent, toQt(error.what()), qt(texts::kErrorCaption), MessageIcon::Stop, MessageButtons::Ok);
        return std::nullopt;
    }

    // Adding the recipients cannot be cancelled: the window stays, without its button, until
    // they are in.
    std::optional<std::size_t> group = findGroup(project, settings.group);
    const bool changes = plan.report.imported + plan.report.updated > 0;
    if (changes) {
        progress.setLabelText(qt(texts::kImportAddingText));
        progress.setCancelButton(nullptr);
        ui.processEvents();
        if (!group) {
            addGroup(project, settings.group, {});
            group = project.groups.size() - 1;
        }
        applyCsvImport(project, dialog.document(), dialog.mapping(), settings, plan);
    }
    progress.close();
    if (changes && applied)
        applied(*group);
    ImportReportDialog report(ui, plan.report.text(), parent);
    ui.showModal(report);
    return changes ? group : std::nullopt;
}

bool exportRecipients(UserInterface& ui, const Project& project, QWidget* parent,
                      const std::optional<std::string>& group)
{
    FileDialogOptions options;
    options.title = group ? toQt(texts::exportRecipientsOf(*group)) : qt(texts::kExportAllRecipients);
    options.filter = qt(texts::kCsvFileFilter);
    options.defaultSuffix = "csv";
    const QString file = ui.saveFileName(parent, options);
    if (file.isEmpty())
        return false;
    std::size_t rows = 0;
    try {
        rows = writeRecipientsCsv(project, {group, true}, QFile::encodeName(file).toStdString());
    } catch (const std::exception& error) {
        ui.messageBox(parent, toQt(error.what()), qt(texts::kErrorCaption), MessageIcon::Stop, MessageButtons::Ok);
        return false;
    }
    ui.messageBox(parent, qt(texts::csvExported(rows, file.toStdString())), qt(texts::kExportRecipientsCaption),
                  MessageIcon::Information, MessageButtons::Ok);
    return true;
}

} // namespace quillet
