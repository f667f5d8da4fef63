// quillet import-csv PROJECT CSVFILE --group G [--create-group] [--separator SEP] [--encoding ENC]
//   [--map FIELD=COLUMN,...] [--duplicates skip|update|keep] [--strict] [--dry-run]
// Imports recipients from a CSV file: prints the summary on standard output and each invalid row
// as "LINE: text" on standard error. The project is saved once at the end, and not at all when
// the file cannot be read, nothing could be imported, --strict finds an invalid row, or --dry-run.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/CsvImport.h"
#include "addressbook/GroupOperations.h"
#include "project/CodePage.h"

#include <cstdio>

namespace quillet::cli {

namespace {

DuplicateRule duplicateRule(const QCommandLineParser& parser)
{
    const QString rule = parser.value("duplicates");
    if (rule.isEmpty() || rule == "skip")
        return DuplicateRule::Skip;
    if (rule == "update")
        return DuplicateRule::Update;
    if (rule == "keep")
        return DuplicateRule::Keep;
    throw UsageError(texts::fill(texts::kBadDuplicateRule, rule.toStdString()));
}

// Every --map value, split at its commas.
std::vector<std::string> mapEntries(const QCommandLineParser& parser)
{
    std::vector<std::string> entries;
    for (const QString& value : parser.values("map"))
        for (const QString& entry : value.split(',', Qt::SkipEmptyParts))
            entries.push_back(entry.trimmed().toStdString());
    return entries;
}

// "45% read" on standard error while the file is read, when it is a terminal.
CsvProgress terminalProgress()
{
    if (!stderrIsTerminal())
        return {};
    return [](std::size_t done, std::size_t total) {
        std::fprintf(stderr, "\r%3d%% read", total ? int(done * 100 / total) : 100);
        if (done == total)
            std::fputs("\r         \r", stderr);
        return true;
    };
}

} // namespace

class ImportCsvCommand : public Command {
public:
    ImportCsvCommand() : Command("import-csv", "Import recipients from a CSV file into a group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addPositionalArgument("CSVFILE", "The CSV file.");
        parser.addOption({"group", "The group the recipients join.", "G"});
        parser.addOption({"create-group", "Create the group when the project has none of that name."});
        parser.addOption(
            {"separator", "The field separator: , ; tab or another character (default: detected).", "SEP"});
        parser.addOption({"encoding", "The file's encoding, e.g. UTF-8, UTF-16, CP1252 (default: detected).", "ENC"});
        parser.addOption({"map", "Columns of fields: email=2,name=1,CITY=4 (number or header; others are parameters).",
                          "FIELD=COLUMN,..."});
        parser.addOption(
            {"duplicates", "Addresses already in the group or the file: skip (default), update or keep.", "RULE"});
        parser.addOption({"strict", "Import nothing when any row is invalid."});
        parser.addOption({"dry-run", "Report what would happen; change nothing."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 2, 2);
        requireOptions(parser, {"group"});
        CsvFormat format;
        format.encoding = parser.value("encoding").toStdString();
        if (parser.isSet("separator")) {
            format.separator = parseCsvSeparator(parser.value("separator").toStdString());
            if (!format.separator)
                throw UsageError(texts::fill(texts::kBadSeparator, parser.value("separator").toStdString()));
        }
        const CsvImportSettings settings{groupOption(parser), duplicateRule(parser), codePageName()};
        const std::vector<std::string> entries = mapEntries(parser);

        Project project = openProjectFile(args.at(0));
        const bool groupExists = findGroup(project, settings.group).has_value();
        if (!groupExists && !parser.isSet("create-group"))
            requireGroup(project, settings.group);

        const std::string csvPath = filePath(args.at(1));
        const CsvDocument document = [&] {
            try {
                return readCsvFile(csvPath, format, settings.codePage);
            } catch (const ProjectFileError& error) {
                rethrowWithPathShown(error, csvPath);
            }
        }();
        CsvMapping mapping = automaticCsvMapping(document, settings.codePage);
        applyExplicitCsvMap(mapping, document, entries, settings.codePage);
        resolveCsvMapping(mapping, document);
        const CsvImportPlan plan = planCsvImport(project, document, mapping, settings, terminalProgress());

        const CsvImportReport& report = plan.report;
        printOut(report.summary() + "\n");
        std::string problems;
        for (const CsvProblem& problem : report.problems)
            problems += std::to_string(problem.line) + ": " + problem.text + "\n";
        printErr(problems);
        std::fflush(stdout);

        if (parser.isSet("strict") && report.invalid > 0)
            throw std::runtime_error(texts::kStrictRefusal);
        if (report.imported + report.updated + report.skipped == 0)
            throw std::runtime_error(texts::kNothingImported);
        if (parser.isSet("dry-run")) {
            printErr(std::string(texts::kDryRunNote) + "\n");
            return 0;
        }
        if (report.imported + report.updated == 0)
            return 0; // every row was a duplicate: the project stays as it is
        if (!groupExists)
            addGroup(project, settings.group, {});
        applyCsvImport(project, document, mapping, settings, plan);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ImportCsvCommand);

} // namespace quillet::cli
