#include "SettingsStore.h"

#include "project/FileDescriptor.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <fcntl.h>
#include <stdexcept>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kOptionGroup = "Option";
constexpr const char* kSmtpGroup = "SMTP";
constexpr const char* kRunGroup = "Run";
constexpr const char* kColumnsGroup = "Columns";
constexpr const char* kSendGroup = "Send";
constexpr const char* kSigningGroup = "Signing";
constexpr const char* kKeyringProjectsKey = "Keyring/Projects";
// A width beyond this is a damaged value, not a column.
constexpr int kMaxColumnWidth = 10000;

constexpr mode_t kOwnerOnly = 0600;

// Creates a folder and its missing parents, readable by the owner only.
void makeFolders(const std::string& folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700); // existing folders stay as they are
        if (slash == std::string::npos)
            break;
    }
}

} // namespace

int settingsNumber(const QString& text, int defaultValue)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

SettingsStore::SettingsStore() : settings_(std::make_unique<QSettings>("Orv", "Quillet")) {}

SettingsStore::SettingsStore(const QString& fileName)
    : settings_(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore()
{
    // Pending values reach the file here at the latest; keep it private.
    createFileOwnerOnly();
    settings_->sync();
    restrictFile();
}

MessageSettings SettingsStore::readMessageSettings() const
{
    MessageSettings message;
    message.codePage = text(kOptionGroup, "CodePage", message.codePage);
    message.fromSender = number(kOptionGroup, "FromSender", 0) != 0;
    message.skipPreflight = number(kOptionGroup, "SkipPreflight", 0) != 0;
    return message;
}

void SettingsStore::writeMessageSettings(const MessageSettings& message)
{
    setText(kOptionGroup, "CodePage", message.codePage);
    setText(kOptionGroup, "FromSender", message.fromSender ? "1" : "0");
    setText(kOptionGroup, "SkipPreflight", message.skipPreflight ? "1" : "0");
}

SigningSettings SettingsStore::readSigning() const
{
    SigningSettings signing;
    signing.keyFile = text(kSigningGroup, "KeyFile", {});
    signing.selector = text(kSigningGroup, "Selector", {});
    signing.domain = text(kSigningGroup, "Domain", {});
    signing.algorithm = text(kSigningGroup, "Algorithm", {});
    return signing;
}

void SettingsStore::writeSigning(const SigningSettings& signing)
{
    if (readSigning() == signing)
        return;
    setText(kSigningGroup, "KeyFile", signing.keyFile);
    setText(kSigningGroup, "Selector", signing.selector);
    setText(kSigningGroup, "Domain", signing.domain);
    setText(kSigningGroup, "Algorithm", signing.algorithm);
}

bool SettingsStore::readKeyringChoice() const
{
    return number(kOptionGroup, "KeyringPasswords", 0) != 0;
}

void SettingsStore::writeKeyringChoice(bool keyring)
{
    if (readKeyringChoice() != keyring)
        setText(kOptionGroup, "KeyringPasswords", keyring ? "1" : "0");
}

bool SettingsStore::projectInKeyring(const QString& projectPath) const
{
    return settings_->value(kKeyringProjectsKey).toStringList().contains(projectPath);
}

void SettingsStore::setProjectInKeyring(const QString& projectPath, bool keyring)
{
    QStringList projects = settings_->value(kKeyringProjectsKey).toStringList();
    if (projects.contains(projectPath) == keyring)
        return;
    if (keyring)
        projects.append(projectPath);
    else
        projects.removeAll(projectPath);
    if (projects.isEmpty())
        settings_->remove(kKeyringProjectsKey);
    else
        settings_->setValue(kKeyringProjectsKey, projects);
}

SendWindowSettings SettingsStore::readSendWindow() const
{
    SendWindowSettings send;
    send.unsubscribeUrl = text(kSendGroup, "UnsubscribeUrl", {});
    send.unsubscribeMailto = text(kSendGroup, "UnsubscribeMailto", {});
    send.headers = text(kSendGroup, "Headers", {});
    send.testAddress = text(kSendGroup, "TestAddress", {});
    return send;
}

void SettingsStore::writeSendWindow(const SendWindowSettings& send)
{
    if (send == readSendWindow())
        return;
    setText(kSendGroup, "UnsubscribeUrl", send.unsubscribeUrl);
    setText(kSendGroup, "UnsubscribeMailto", send.unsubscribeMailto);
    setText(kSendGroup, "Headers", send.headers);
    setText(kSendGroup, "TestAddress", send.testAddress);
}

QString SettingsStore::fileName() const
{
    return settings_->fileName();
}

QString SettingsStore::text(const char* group, const char* key, const QString& defaultValue) const
{
    const QString path = QString::fromLatin1(group) + '/' + QString::fromLatin1(key);
    const QVariant value = settings_->value(path);
    if (!value.isValid())
        return defaultValue;
    // A value with a comma reads back as a list; join it again so no text is lost.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(", ");
    return value.toString();
}

int SettingsStore::number(const char* group, const char* key, int defaultValue) const
{
    return settingsNumber(text(group, key, QString()), defaultValue);
}

void SettingsStore::setText(const char* group, const char* key, const QString& value)
{
    settings_->setValue(QString::fromLatin1(group) + '/' + QString::fromLatin1(key), value);
}

OptionSettings SettingsStore::readOptions() const
{
    namespace d = settings_defaults;
    OptionSettings options;
    options.placement.width = number(kOptionGroup, "Width", d::kWidth);
    options.placement.height = number(kOptionGroup, "Heigth", d::kHeight);
    options.placement.left = number(kOptionGroup, "Left", d::kLeft);
    options.placement.top = number(kOptionGroup, "Top", d::kTop);
    options.winState = number(kOptionGroup, "WinState", d::kWinState);
    options.projectPath = QFile::encodeName(text(kOptionGroup, "Project Name", QString())).toStdString();
    options.groupListWidth = number(kOptionGroup, "GroupList", d::kGroupListWidth);
    return options;
}

ServerSettings SettingsStore::readServer() const
{
    ServerSettings server;
    server.server = text(kSmtpGroup, "Server", server.server);
    server.port = text(kSmtpGroup, "Port", server.port);
    server.from = text(kSmtpGroup, "From", server.from);
    server.userName = text(kSmtpGroup, "UserName", server.userName);
    server.password = text(kSmtpGroup, "Password", server.password);
    return server;
}

namespace {

// The time-limit keys and their fields, in the order of the settings file.
constexpr std::pair<const char*, int SecuritySettings::*> kTimeLimitKeys[] = {
    {"TimeLimitConnect", &SecuritySettings::connect},     {"TimeLimitGreeting", &SecuritySettings::greeting},
    {"TimeLimitCommand", &SecuritySettings::command},     {"TimeLimitMail", &SecuritySettings::mail},
    {"TimeLimitRcpt", &SecuritySettings::rcpt},           {"TimeLimitData", &SecuritySettings::data},
    {"TimeLimitDataBlock", &SecuritySettings::dataBlock}, {"TimeLimitDataEnd", &SecuritySettings::dataEnd},
};

} // namespace

SecuritySettings SettingsStore::readSecurity() const
{
    SecuritySettings security;
    security.security = text(kSmtpGroup, "Security", security.security).toLower();
    security.caFile = text(kSmtpGroup, "TlsCaFile", security.caFile);
    security.pins = text(kSmtpGroup, "TlsPins", security.pins);
    security.allowPlainAuth = number(kSmtpGroup, "AllowPlainAuth", 0) != 0;
    for (const auto& [key, field] : kTimeLimitKeys)
        security.*field = std::max(0, number(kSmtpGroup, key, security.*field));
    return security;
}

void SettingsStore::writeSecurity(const SecuritySettings& security)
{
    setText(kSmtpGroup, "Security", security.security);
    setText(kSmtpGroup, "TlsCaFile", security.caFile);
    setText(kSmtpGroup, "TlsPins", security.pins);
    if (security.allowPlainAuth != readSecurity().allowPlainAuth)
        setText(kSmtpGroup, "AllowPlainAuth", security.allowPlainAuth ? "1" : "0");
    for (const auto& [key, field] : kTimeLimitKeys)
        setText(kSmtpGroup, key, QString::number(security.*field));
}

void SettingsStore::writeSecurityChoice(const QString& security, const QString& caFile, bool allowPlainAuth)
{
    const SecuritySettings stored = readSecurity();
    if (allowPlainAuth != stored.allowPlainAuth)
        setText(kSmtpGroup, "AllowPlainAuth", allowPlainAuth ? "1" : "0");
    if (security != stored.security)
        setText(kSmtpGroup, "Security", security);
    if (caFile != stored.caFile)
        setText(kSmtpGroup, "TlsCaFile", caFile);
}

void SettingsStore::addPin(const QString& host, int port, const QString& fingerprint)
{
    const QString place = host + ":" + QString::number(port) + "=";
    QStringList pins;
    for (const QString& pin : text(kSmtpGroup, "TlsPins", {}).split(' ', Qt::SkipEmptyParts))
        if (!pin.startsWith(place))
            pins << pin;
    pins << place + fingerprint;
    setText(kSmtpGroup, "TlsPins", pins.join(' '));
}

std::vector<StoredPin> SettingsStore::pins() const
{
    std::vector<StoredPin> result;
    for (const QString& item : text(kSmtpGroup, "TlsPins", {}).split(' ', Qt::SkipEmptyParts)) {
        // HOST:PORT=FINGERPRINT; the host may hold colons of its own (IPv6), the port is after the last.
        const qsizetype equals = item.indexOf('=');
        const qsizetype colon = equals < 0 ? -1 : item.lastIndexOf(':', equals);
        bool ok = false;
        const int port = colon < 0 ? 0 : item.mid(colon + 1, equals - colon - 1).toInt(&ok);
        if (ok)
            result.push_back({item.left(colon), port, item.mid(equals + 1)});
    }
    return result;
}

QString SettingsStore::pinnedFingerprint(const QString& host, int port) const
{
    for (const StoredPin& pin : pins())
        if (pin.host.compare(host, Qt::CaseInsensitive) == 0 && pin.port == port) // as DNS compares names
            return pin.fingerprint;
    return {};
}

void SettingsStore::removePin(const QString& host, int port)
{
    const QString place = host + ":" + QString::number(port) + "=";
    QStringList kept;
    for (const QString& pin : text(kSmtpGroup, "TlsPins", {}).split(' ', Qt::SkipEmptyParts))
        if (!pin.startsWith(place))
            kept << pin;
    setText(kSmtpGroup, "TlsPins", kept.join(' '));
}

RunSettings SettingsStore::readRun() const
{
    RunSettings run;
    run.onError = text(kRunGroup, "OnError", run.onError) == "skip" ? "skip" : "stop";
    run.retries = std::max(0, number(kRunGroup, "Retries", run.retries));
    run.retryWaitSeconds = std::max(0, number(kRunGroup, "RetryWait", run.retryWaitSeconds));
    run.rate = text(kRunGroup, "Rate", run.rate);
    run.maxPerConnection = std::max(0, number(kRunGroup, "MaxPerConnection", run.maxPerConnection));
    run.skipDisabled = text(kRunGroup, "SkipDisabled", "False") == "True";
    run.connections = std::clamp(number(kRunGroup, "Connections", run.connections), 1, 100);
    return run;
}

void SettingsStore::writeWindowState(int winState)
{
    setText(kOptionGroup, "WinState", QString::number(winState));
}

void SettingsStore::writePlacement(const WindowPlacement& placement)
{
    setText(kOptionGroup, "Width", QString::number(placement.width));
    setText(kOptionGroup, "Heigth", QString::number(placement.height));
    setText(kOptionGroup, "Left", QString::number(placement.left));
    setText(kOptionGroup, "Top", QString::number(placement.top));
}

void SettingsStore::writeProjectPath(const std::string& path)
{
    setText(kOptionGroup, "Project Name", QFile::decodeName(QByteArray::fromStdString(path)));
}

void SettingsStore::writeGroupListWidth(int width)
{
    setText(kOptionGroup, "GroupList", QString::number(width));
}

void SettingsStore::writeServer(const ServerSettings& server)
{
    setText(kSmtpGroup, "Server", server.server);
    setText(kSmtpGroup, "Port", server.port);
    setText(kSmtpGroup, "From", server.from);
    setText(kSmtpGroup, "UserName", server.userName);
    setText(kSmtpGroup, "Password", server.password);
}

void SettingsStore::writeRun(const RunSettings& run)
{
    setText(kRunGroup, "OnError", run.onError);
    setText(kRunGroup, "Retries", QString::number(run.retries));
    setText(kRunGroup, "RetryWait", QString::number(run.retryWaitSeconds));
    setText(kRunGroup, "Rate", run.rate);
    setText(kRunGroup, "MaxPerConnection", QString::number(run.maxPerConnection));
    setText(kRunGroup, "SkipDisabled", run.skipDisabled ? "True" : "False");
    setText(kRunGroup, "Connections", QString::number(run.connections));
}

std::vector<int> SettingsStore::readColumnWidths(const QString& list) const
{
    // Widths are kept as "100 120 80": a comma would make QSettings read a list.
    const QStringList parts =
        text(kColumnsGroup, list.toLatin1().constData(), QString()).split(' ', Qt::SkipEmptyParts);
    std::vector<int> widths;
    for (const QString& part : parts) {
        const int width = settingsNumber(part, 0);
        if (width <= 0 || width > kMaxColumnWidth)
            return {};
        widths.push_back(width);
    }
    return widths;
}

void SettingsStore::writeColumnWidths(const QString& list, const std::vector<int>& widths)
{
    QStringList parts;
    for (int width : widths)
        parts << QString::number(width);
    setText(kColumnsGroup, list.toLatin1().constData(), parts.join(' '));
}

void SettingsStore::createFileOwnerOnly()
{
    // Create the file owner-only before its first write, so the password is never readable by
    // others even for a moment. When this fails, QSettings reports the failure on sync.
    const QString name = settings_->fileName();
    if (QFileInfo::exists(name))
        return;
    makeFolders(QFile::encodeName(QFileInfo(name).absolutePath()).toStdString());
    const FileDescriptor created(
        ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly));
}

void SettingsStore::sync()
{
    const QByteArray file = QFile::encodeName(settings_->fileName());
    createFileOwnerOnly();
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
        throw std::runtime_error("Cannot write the settings file \"" + file.toStdString() + "\"");
    restrictFile();
}

void SettingsStore::restrictFile()
{
    const QByteArray file = QFile::encodeName(settings_->fileName());
    struct stat st {};
    if (::stat(file.constData(), &st) == 0 && (st.st_mode & 0777) != kOwnerOnly)
        ::chmod(file.constData(), kOwnerOnly);
}

} // namespace quillet
