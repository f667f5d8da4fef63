// The Program options dialog "Properties": the default mail server on the first page and the
// built-in mail server on the second. While the program runs, the texts of these edits are the
// settings in force: the mailing run and the server window read them at the moment they need
// them (use the accessors below). Only the first page is stored with the program settings.
#pragma once

#include <QDialog>

class QLineEdit;
class QTabWidget;

namespace quillet {

class SettingsStore;

class TPropertiesForm : public QDialog {
    Q_OBJECT
public:
    explicit TPropertiesForm(QWidget* parent = nullptr);

    // Page indexes of PageControl.
    static constexpr int kDefaultServerPage = 0;
    static constexpr int kBuiltInServerPage = 1;

    QTabWidget* PageControl = nullptr;
    // Page "Default Mail Server".
    QLineEdit* SMTPEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* SendFromEdit = nullptr;
    QLineEdit* UserNameEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    // Page "Build-in Mail Server": never stored; "1026" and empty at every start.
    QLineEdit* BuildInPortEdit = nullptr;
    QLineEdit* BuildInFromEdit = nullptr;

    // The settings in force, as the mailing run reads them. Ports that are not a decimal number
    // count as 25 (default server) and 1026 (built-in server).
    QString defaultServerHost() const;
    int defaultServerPort() const;
    QString defaultServerUser() const;
    QString defaultServerPassword() const;
    QString defaultServerSender() const;
    int builtInServerPort() const;
    QString builtInServerSender() const;

    // LoadServerSettings: the five stored "SMTP" values (or their defaults) into the edits of the
    // first page; the built-in server edits are not touched.
    void loadServerSettings();
    void loadServerSettings(const SettingsStore& store);
    // The five edits of the first page into the stored "SMTP" values (part of WriteSettings).
    void writeServerSettings(SettingsStore& store) const;

    // Opens the dialog on a page at its next showing; -1 keeps the page it last showed.
    void selectPage(int page);
    // To open the dialog, use the shell's showProgramOptions(page): it shows it modally and
    // runs loadServerSettings() when it ends with anything but OK.
};

} // namespace quillet
