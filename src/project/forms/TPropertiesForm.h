// The Program options dialog "Properties": the default mail server on the first page, the
// built-in mail server on the second and the message options (code page, From from the sender,
// the pre-flight check) on the third. While the program runs, the texts of these edits are the
// settings in force: the mailing run and the server window read them at the moment they need
// them (use the accessors below). Only the first page is stored with the program settings.
#pragma once
// The first page also holds the connection security and the trusted-certificates file, which
// apply to the default server and every account.

#include <QDialog>
#include <QString>

#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace quillet {

class SettingsStore;

class TPropertiesForm : public QDialog {
    Q_OBJECT
public:
    explicit TPropertiesForm(QWidget* parent = nullptr);

    // Page indexes of PageControl.
    static constexpr int kDefaultServerPage = 0;
    static constexpr int kBuiltInServerPage = 1;
    static constexpr int kMessagePage = 2;

    QTabWidget* PageControl = nullptr;
    // Page "Default Mail Server".
    QLineEdit* SMTPEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* SendFromEdit = nullptr;
    QLineEdit* UserNameEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    // The connection security of the default server and every account ("auto", "starttls",
    // "tls", "none" as item data) and the file of extra trusted certificates, with its "..."
    // button (bound by the main window, which has the file dialog).
    QComboBox* SecurityCombo = nullptr;
    QLineEdit* TlsCaFileEdit = nullptr;
    QToolButton* TlsCaFileButton = nullptr;
    // The password may go without TLS to a server not on this computer (stored AllowPlainAuth).
    QCheckBox* PlainAuthCheck = nullptr;
    // The certificates trusted by fingerprint, "HOST:PORT  FINGERPRINT", with Remove; a removal
    // reaches the settings with OK.
    QListWidget* PinList = nullptr;
    QPushButton* RemovePinButton = nullptr;
    // Page "Build-in Mail Server": never stored; "1026" and empty at every start.
    QLineEdit* BuildInPortEdit = nullptr;
    QLineEdit* BuildInFromEdit = nullptr;
    // Page "Message": stored with the program settings (see MessageSettings).
    QComboBox* CodePageBox = nullptr; // item data: the stored choice ("auto", "utf-8", ...)
    QCheckBox* FromSenderCheck = nullptr;
    QCheckBox* PreflightCheck = nullptr;

    // The settings in force, as the mailing run reads them. Ports that are not a decimal number
    // count as 25 (default server) and 1026 (built-in server).
    QString defaultServerHost() const;
    int defaultServerPort() const;
    QString defaultServerUser() const;
    QString defaultServerPassword() const;
    QString defaultServerSender() const;
    int builtInServerPort() const;
    QString builtInServerSender() const;
    // The security choice's stored value, and the trusted-certificates file as typed.
    QString connectionSecurity() const;
    QString trustedCertificatesFile() const;
    void setConnectionSecurity(const QString& value);

    // LoadServerSettings: the five stored "SMTP" values (or their defaults) into the edits of the
    // first page, with the security choice and the trusted-certificates file; the built-in server
    // edits are not touched.
    void loadServerSettings();
    void loadServerSettings(const SettingsStore& store);
    // The five edits of the first page into the stored "SMTP" values (part of WriteSettings); the
    // security choice, the file and the plain login choice only when changed (see SettingsStore::writeSecurityChoice).
    void writeServerSettings(SettingsStore& store) const;
    // The stored pins into the list (before each showing: a run may have added one).
    void loadPins(const SettingsStore& store);

    // The stored message options into the third page, and back (the pre-flight check shown is
    // the stored "SkipPreflight" turned round). An unknown stored code page shows as automatic.
    void loadMessageSettings(const SettingsStore& store);
    void writeMessageSettings(SettingsStore& store) const;

    // Opens the dialog on a page at its next showing; -1 keeps the page it last showed.
    void selectPage(int page);
    // To open the dialog, use the shell's showProgramOptions(page): it shows it modally and
    // runs loadServerSettings() when it ends with anything but OK.

private:
    void RemovePinButtonClick();
    // Host and port of the pins removed since the list was loaded.
    std::vector<std::pair<QString, int>> removedPins_;
};

} // namespace quillet
