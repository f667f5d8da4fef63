// The program's own settings, kept per user with QSettings("Orv", "Quillet"): an INI file under
// $XDG_CONFIG_HOME/Orv/ on Linux. Two groups: "Option" (main window placement, last used
// project, group list width), "SMTP" (the default mail server) and "Run" (the send window's
// options for larger runs). Every value is stored as
// text; a number that is missing or not a valid integer reads as its default. The file holds
// the server password in plain text, so it is kept readable by its owner only.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

class QSettings;

namespace quillet {

namespace settings_defaults {
inline constexpr int kWidth = 625;
inline constexpr int kHeight = 410;
inline constexpr int kLeft = 10;
inline constexpr int kTop = 10;
inline constexpr int kWinState = 0;
inline constexpr int kGroupListWidth = 265;
inline constexpr const char* kPort = "25";
// The sender address offered until the user sets one.
inline constexpr const char* kFrom = "user@example.com";
} // namespace settings_defaults

// Window states stored in "WinState".
enum WindowState { kWindowNormal = 0, kWindowMinimised = 1, kWindowMaximised = 2 };

struct WindowPlacement {
    int width = settings_defaults::kWidth;
    int height = settings_defaults::kHeight;
    int left = settings_defaults::kLeft;
    int top = settings_defaults::kTop;
};

// The "Option" group.
struct OptionSettings {
    WindowPlacement placement;
    int winState = settings_defaults::kWinState;
    // The last used project file ("Project Name"), as a file-system path.
    std::string projectPath;
    int groupListWidth = settings_defaults::kGroupListWidth;
};

// The "SMTP" group: the default mail server, texts as typed.
struct ServerSettings {
    QString server;
    QString port = settings_defaults::kPort;
    QString from = settings_defaults::kFrom;
    QString userName;
    QString password;
};

// The "Run" group: the send window's options for larger runs. OnError is "stop" or "skip",
// Rate "N/s", "N/min", "N/h" or empty (no limit), RetryWait the seconds before the first retry
// (each further wait three times longer), SkipDisabled "True" or "False".
struct RunSettings {
    QString onError = "stop";
    int retries = 0;
    int retryWaitSeconds = 30;
    QString rate;
    int maxPerConnection = 0;
    bool skipDisabled = false;
    // Parallel connections per server, 1 to 100 ("Connections").
    int connections = 1;
};

// One certificate trusted by fingerprint for one server.
struct StoredPin {
    QString host;
    int port = 0;
    QString fingerprint;
};

// How the default server and every account are reached, in the "SMTP" group (written only when
// changed, so a file without these keys keeps its bytes): Security "auto", "starttls", "tls" or
// "none"; TlsCaFile a PEM file of extra trusted certificates; TlsPins the certificates trusted by
// fingerprint, "HOST:PORT=FINGERPRINT" items separated by spaces; the TimeLimit* keys the limits
// of the network waits in seconds (0: no limit; missing or not a number: the default);
// AllowPlainAuth 1 lets the password go without TLS to a server not on this machine.
struct SecuritySettings {
    QString security = "auto";
    QString caFile;
    bool allowPlainAuth = false;
    QString pins;
    int connect = 30;
    int greeting = 300;
    int command = 300;
    int mail = 300;
    int rcpt = 300;
    int data = 120;
    int dataBlock = 180;
    int dataEnd = 600;
};

// Message options in the "Option" group: the code page choice ("CodePage": auto, utf-8,
// windows-1252, shift_jis, gbk, big5 or cp949), the sender address as From when a message has
// none ("FromSender", 0 or 1) and the pre-flight summary left out before a run ("SkipPreflight").
struct MessageSettings {
    QString codePage = "auto";
    bool fromSender = false;
    bool skipPreflight = false;
};

// The send window's added headers, remembered from one run to the next in the "Send" group:
// UnsubscribeUrl, UnsubscribeMailto, Headers (one "Name: value" a line) and the last address a
// test message went to (TestAddress). Written only when one of them changes.
struct SendWindowSettings {
    QString unsubscribeUrl;
    QString unsubscribeMailto;
    QString headers;
    QString testAddress;

    bool operator==(const SendWindowSettings&) const = default;
};

// Message signing (DKIM) in the "Signing" group: KeyFile (the PEM private key; empty: messages
// are not signed), Selector, Domain (empty: each message's From domain) and Algorithm
// (rsa-sha256 or ed25519-sha256; the key's own kind decides, this names it for the user).
// Written only when changed.
struct SigningSettings {
    QString keyFile;
    QString selector;
    QString domain;
    QString algorithm;

    bool operator==(const SigningSettings&) const = default;
};

// A decimal number as the settings read it: `text` converted, or `defaultValue` when it is
// empty or not a valid integer.
int settingsNumber(const QString& text, int defaultValue);

class SettingsStore {
public:
    // The user's settings: QSettings("Orv", "Quillet").
    SettingsStore();
    // Settings kept in the INI file `fileName` (tests, portable copies).
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    OptionSettings readOptions() const;
    ServerSettings readServer() const;
    RunSettings readRun() const;
    SecuritySettings readSecurity() const;
    MessageSettings readMessageSettings() const;
    SendWindowSettings readSendWindow() const;

    void writeWindowState(int winState);
    void writePlacement(const WindowPlacement& placement);
    void writeProjectPath(const std::string& path);
    void writeGroupListWidth(int width);
    void writeServer(const ServerSettings& server);
    void writeRun(const RunSettings& run);
    void writeSecurity(const SecuritySettings& security);
    // The choices of the program options (Security, TlsCaFile, AllowPlainAuth), each written only
    // when it differs from what is read now, so a file without these keys keeps its bytes until
    // one is changed.
    void writeSecurityChoice(const QString& security, const QString& caFile, bool allowPlainAuth = false);
    // Trusts a certificate for one server from now on (another pin for the same host and port is
    // replaced).
    void addPin(const QString& host, int port, const QString& fingerprint);
    // The stored pins in stored order; the fingerprint pinned for a server (empty: none); and
    // forgetting the pin of a server.
    std::vector<StoredPin> pins() const;
    QString pinnedFingerprint(const QString& host, int port) const;
    void removePin(const QString& host, int port);
    void writeMessageSettings(const MessageSettings& message);
    void writeSendWindow(const SendWindowSettings& send);

    // "Keep passwords in the system keyring" for the default server ("KeyringPasswords" in
    // "Option", 0 or 1, written only when it changes) and for each project: the project files
    // whose passwords are kept there, by absolute path ("Projects" in "Keyring"), since the
    // project file itself has no place for the choice.
    SigningSettings readSigning() const;
    void writeSigning(const SigningSettings& signing);

    bool readKeyringChoice() const;
    void writeKeyringChoice(bool keyring);
    bool projectInKeyring(const QString& projectPath) const;
    void setProjectInKeyring(const QString& projectPath, bool keyring);

    // The column widths of a list (group "Columns", key = the list's name), as the user last
    // left them, in column order. Empty when none are stored or the value is not a list of
    // positive widths: the list then keeps its first-start widths.
    std::vector<int> readColumnWidths(const QString& list) const;
    void writeColumnWidths(const QString& list, const std::vector<int>& widths);

    // Writes pending changes to the file and keeps it readable by its owner only. Throws
    // std::runtime_error with the file's name when it cannot be written.
    void sync();
    // The file the settings live in.
    QString fileName() const;

private:
    QString text(const char* group, const char* key, const QString& defaultValue) const;
    int number(const char* group, const char* key, int defaultValue) const;
    void setText(const char* group, const char* key, const QString& value);
    void createFileOwnerOnly();
    void restrictFile();

    std::unique_ptr<QSettings> settings_;
};

} // namespace quillet
