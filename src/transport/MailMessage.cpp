#include "MailMessage.h"

#include "Base64.h"
#include "DkimSigner.h"
#include "Iso2022Jp.h"
#include "MessageTexts.h"
#include "QuotedPrintable.h"
#include "TransportError.h"

#include "project/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kPartIndent = "        ";

std::string multipartContentType(const char* subtype, const char* boundary)
{
    return std::string("multipart/") + subtype + "; boundary=\"" + boundary + "\"";
}

bool linesArePlainAscii(const std::vector<std::string>& lines)
{
    for (const auto& line : lines)
        if (!isPlainAscii(line))
            return false;
    return true;
}

// How one text part (or the single-part body) is written.
enum class TextForm { AsIs, QuotedPrintable, Iso2022Jp };

// Writes one body line; a line holding CR or LF goes out as several lines (CR LF, a lone CR
// and a lone LF each end one), each with its leading "." doubled.
void writeBodyLine(LineWriter& writer, std::string_view line, TextForm form)
{
    // A line as it stands without a leading "." or a line break goes out unchanged.
    if (form == TextForm::AsIs && (line.empty() || line[0] != '.') && !HasLineBreak(line)) {
        writer.WriteLn(line);
        return;
    }
    std::vector<std::string> encoded;
    for (;;) {
        const std::size_t brk = line.find_first_of("\r\n");
        const std::string_view piece = line.substr(0, brk);
        encoded.clear();
        if (form == TextForm::QuotedPrintable)
            AppendQuotedPrintableLines(piece, encoded);
        else
            encoded.push_back(form == TextForm::Iso2022Jp ? ConvertToIso2022Jp(piece) : std::string(piece));
        // The test for a leading "." is made on the line before conversion.
        bool first = true;
        for (const std::string& out : encoded) {
            const bool dot = first && form == TextForm::Iso2022Jp ? !piece.empty() && piece[0] == '.'
                                                                  : !out.empty() && out[0] == '.';
            writer.WriteLn(dot ? "." + out : out);
            first = false;
        }
        if (brk == std::string_view::npos)
            return;
        const std::size_t next = line.compare(brk, 2, "\r\n") == 0 ? brk + 2 : brk + 1;
        line.remove_prefix(next);
    }
}

void writeBodyLines(LineWriter& writer, const std::vector<std::string>& body, TextForm form)
{
    for (const auto& line : body)
        writeBodyLine(writer, line, form);
}

// The headers of a text part: its type with the charset when it is not ASCII, and the encoding.
void writeTextPart(LineWriter& writer, const char* subtype, const std::vector<std::string>& lines,
                   const EncodingParameters& parameters)
{
    const bool ascii = linesArePlainAscii(lines);
    std::string type = std::string("Content-Type: text/") + subtype;
    if (!ascii)
        type += std::string("; charset=") + registeredCharsetName(parameters.CodePage.c_str());
    writer.WriteLn(type);
    writer.WriteLn(ascii ? "Content-Transfer-Encoding: 7bit" : "Content-Transfer-Encoding: quoted-printable");
    writer.WriteLn("");
    writeBodyLines(writer, lines, ascii ? TextForm::AsIs : TextForm::QuotedPrintable);
}

// The plain and HTML parts inside their multipart/alternative boundaries.
void writeAlternatives(LineWriter& writer, const TMailMessage& message, const EncodingParameters& parameters)
{
    const std::string boundaryLine = std::string("--") + kAlternativeBoundary;
    writer.WriteLn(boundaryLine);
    writeTextPart(writer, "plain", message.Body, parameters);
    writer.WriteLn("");
    writer.WriteLn(boundaryLine);
    writeTextPart(writer, "html", message.HtmlBody, parameters);
    writer.WriteLn("");
    writer.WriteLn(boundaryLine + "--");
}

// A file name as a parameter: quoted when ASCII, else in the RFC 2231 form charset''%XX.
std::string fileNameParameter(const char* name, const std::string& fileName, const EncodingParameters& parameters)
{
    if (isPlainAscii(fileName))
        return std::string(name) + "=\"" + fileName + "\"";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string value = std::string(name) + "*=" + registeredCharsetName(parameters.CodePage.c_str()) + "''";
    for (const char c : fileName) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            (u && std::strchr("!#$&+-.^_`|~", c))) {
            value += c;
        } else {
            value += '%';
            value += kHex[u >> 4];
            value += kHex[u & 15];
        }
    }
    return value;
}

// The media types of the common file name extensions (compared without regard to letter case).
constexpr std::pair<std::string_view, std::string_view> kMediaTypes[] = {
    {"csv", "text/csv"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"gif", "image/gif"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"ics", "text/calendar"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"pdf", "application/pdf"},
    {"png", "image/png"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"txt", "text/plain"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"zip", "application/zip"},
};

} // namespace

std::string MediaTypeOfFileName(std::string_view fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot != std::string_view::npos && fileName.find_first_of("/\\", dot) == std::string_view::npos) {
        std::string extension(fileName.substr(dot + 1));
        for (char& c : extension)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        for (const auto& [known, type] : kMediaTypes)
            if (extension == known)
                return std::string(type);
    }
    return "application/octet-stream";
}

namespace {

void writeAttachment(LineWriter& writer, TMailAttachment& attachment, const EncodingParameters& parameters)
{
    writer.WriteLn("");
    writer.WriteLn(std::string("--") + kMessageBoundary);
    if (attachment.ContentTransfer().empty())
        attachment.SetContentTransfer("base64");
    if (attachment.ContentDisposition().empty())
        attachment.SetContentDisposition("attachment");
    if (attachment.ContentTransfer() == "base64" && attachment.ContentType().empty())
        attachment.SetContentType(MediaTypeOfFileName(attachment.FileName));
    const std::string fileName = SingleLineValue(attachment.FileName);
    writer.WriteLn("Content-Type: " + attachment.ContentType() + ";");
    writer.WriteLn(std::string(kPartIndent) + fileNameParameter("name", fileName, parameters));
    writer.WriteLn("Content-Transfer-Encoding: " + attachment.ContentTransfer());
    writer.WriteLn("Content-Disposition: " + attachment.ContentDisposition() + ";");
    writer.WriteLn(std::string(kPartIndent) + fileNameParameter("filename", fileName, parameters));
    for (const auto& line : attachment.ExtraHeaders.Lines())
        writer.WriteLn(SingleLineValue(line));
    writer.WriteLn("");

    FileDescriptor file(::open(attachment.SourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw EFileOpenError(FormatText(kCannotOpenFileFormat, attachment.SourcePath, std::strerror(errno)));
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    TMessageEncoderMIME::Encode(file.get(), writer, attachment.SourcePath);

    writer.WriteLn("");
}

} // namespace

TMailAttachment::TMailAttachment(std::string sourcePath) : SourcePath(std::move(sourcePath))
{
    const std::size_t slash = SourcePath.rfind('/');
    FileName = slash == std::string::npos ? SourcePath : SourcePath.substr(slash + 1);
}

std::string FormatMessageDate(std::time_t moment)
{
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr)
        throw ETransportError(kTimeZoneFailureText);
    long offset = local.tm_gmtoff / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    // "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", written digit by digit (a message's header
    // block is built for every recipient of a run).
    std::string text;
    text.reserve(32);
    const auto digits = [&text](long number, int width) {
        if (number < 0) { // printf's zero padding follows the sign
            text += '-';
            number = -number;
            --width;
        }
        char buffer[24];
        char* end = std::to_chars(buffer, std::end(buffer), number).ptr;
        text.append(static_cast<std::size_t>(std::max(0, width - static_cast<int>(end - buffer))), '0');
        text.append(buffer, end);
    };
    text += kDayNames[local.tm_wday];
    text += ", ";
    digits(local.tm_mday, 1);
    text += ' ';
    text += kMonthNames[local.tm_mon];
    text += ' ';
    digits(local.tm_year + 1900L, 4);
    text += ' ';
    digits(local.tm_hour, 2);
    text += ':';
    digits(local.tm_min, 2);
    text += ':';
    digits(local.tm_sec, 2);
    text += ' ';
    text += sign;
    digits(offset / 60, 2);
    digits(offset % 60, 2);
    return text;
}

THeaderList BuildHeaderLines(const TMailMessage& message)
{
    return BuildHeaderLines(message, CurrentEncodingParameters());
}

namespace {

// Sets a header in a list being built, where no header of that name is yet: its folded lines
// are added at the end (an empty value adds none).
void put(THeaderList& list, std::string_view name, std::string_view value)
{
    if (!value.empty())
        list.AddHeader(name, value);
}

THeaderList buildHeaders(const TMailMessage& m, const EncodingParameters& parameters, bool encodedWords)
{
    const bool mime = m.Encoding == TMessageEncoding::meMIME;
    const bool hasParts = !m.Attachments.empty();
    const bool hasHtml = !m.HtmlBody.empty();
    const bool plainBody = linesArePlainAscii(m.Body);
    THeaderList h;
    h.Reserve(16); // a message's usual headers, without moving them while the list grows
    if (!m.From.Address.empty() || !m.From.Name.empty())
        put(h, "From", m.From.HeaderForm(parameters));
    put(h, "Subject", EncodeHeaderWords(SingleLineValue(m.Subject), kTextSpecials, parameters));
    put(h, "To", m.Recipients.HeaderForm(parameters));
    put(h, "Cc", m.CCList.HeaderForm(parameters));
    std::string groups;
    for (const auto& group : m.NewsGroups)
        groups += (groups.empty() ? "" : ",") + group;
    put(h, "Newsgroups", SingleLineValue(groups));
    std::string transferEncoding = m.ContentTransferEncoding;
    if (mime) {
        std::string contentType;
        if (hasParts) {
            contentType = multipartContentType("mixed", kMessageBoundary);
        } else if (hasHtml) {
            contentType = multipartContentType("alternative", kAlternativeBoundary);
        } else {
            contentType = m.ContentType;
            if (!contentType.empty() && !m.CharSet.empty()) {
                contentType += "; charset=" + m.CharSet;
            } else if (!plainBody) {
                // Say what the bytes are: the charset, and an encoding every server passes.
                const bool jis = parameters.TransferMode == TTransfer::iso2022jp;
                if (contentType.empty())
                    contentType = "text/plain";
                contentType += std::string("; charset=") +
                               (jis ? "ISO-2022-JP" : registeredCharsetName(parameters.CodePage.c_str()));
                if (transferEncoding.empty())
                    transferEncoding = jis ? "7bit" : "quoted-printable";
            }
        }
        put(h, "Content-Type", SingleLineValue(contentType));
        if (hasParts || hasHtml || !plainBody || encodedWords)
            put(h, "MIME-Version", "1.0");
    }
    put(h, "Content-Transfer-Encoding", SingleLineValue(transferEncoding));
    TEMailAddressItem sender(SingleLineValue(m.Sender.Address), SingleLineValue(m.Sender.Name));
    put(h, "Sender", sender.SenderHeaderForm(parameters));
    put(h, "Reply-To", m.ReplyTo.HeaderForm(parameters));
    put(h, "Organization", EncodeHeaderWords(SingleLineValue(m.Organization), kTextSpecials, parameters));
    put(h, "Disposition-Notification-To", m.ReceiptRecipient.HeaderForm(parameters));
    put(h, "References", SingleLineValue(m.References));
    put(h, "Date", FormatMessageDate(m.Date != 0 ? m.Date : std::time(nullptr)));
    put(h, "Message-ID", SingleLineValue(m.MessageId));
    put(h, "X-Priority", std::to_string(static_cast<int>(m.Priority) + 1));
    put(h, "X-Library", kLibraryName);
    for (const auto& [name, value] : m.AddedHeaders) {
        THeaderList added;
        added.SetValue(SingleLineValue(name), EncodeHeaderWords(SingleLineValue(value), kTextSpecials, parameters));
        h.Append(added);
    }
    h.Append(m.ExtraHeaders);
    return h;
}

} // namespace

THeaderList BuildHeaderLines(const TMailMessage& m, const EncodingParameters& parameters)
{
    THeaderList h = buildHeaders(m, parameters, false);
    // Encoded words in a header need MIME-Version too.
    if (m.Encoding == TMessageEncoding::meMIME && h.Value("MIME-Version").empty())
        for (const auto& line : h.Lines())
            if (line.find("=?") != std::string::npos)
                return buildHeaders(m, parameters, true);
    return h;
}

void WriteMessage(TMailMessage& message, LineWriter& writer)
{
    WriteMessage(message, writer, CurrentEncodingParameters());
}

namespace {

// The header lines as they are written: a line holding a line break goes out as one line.
std::vector<std::string> writtenHeaderLines(const TMailMessage& message, const EncodingParameters& parameters)
{
    std::vector<std::string> lines = BuildHeaderLines(message, parameters).Lines();
    for (auto& line : lines)
        if (HasLineBreak(line))
            line = SingleLineValue(line);
    return lines;
}

void writeBody(TMailMessage& message, LineWriter& writer, const EncodingParameters& parameters)
{
    const bool hasHtml = !message.HtmlBody.empty();
    if (message.Attachments.empty() && !hasHtml) {
        TextForm form = TextForm::AsIs;
        if (parameters.TransferMode == TTransfer::iso2022jp)
            form = TextForm::Iso2022Jp;
        else if (!linesArePlainAscii(message.Body) && message.ContentTransferEncoding.empty() &&
                 message.CharSet.empty())
            form = TextForm::QuotedPrintable;
        writeBodyLines(writer, message.Body, form);
        return;
    }
    writer.WriteLn(kMultipartPreamble);
    writer.WriteLn("");
    if (message.Attachments.empty()) {
        writeAlternatives(writer, message, parameters);
        return;
    }
    const std::string boundaryLine = std::string("--") + kMessageBoundary;
    writer.WriteLn(boundaryLine);
    if (hasHtml) {
        writer.WriteLn("Content-Type: " + multipartContentType("alternative", kAlternativeBoundary));
        writer.WriteLn("");
        writeAlternatives(writer, message, parameters);
    } else {
        writeTextPart(writer, "plain", message.Body, parameters);
    }
    for (auto& attachment : message.Attachments)
        writeAttachment(writer, attachment, parameters);
    writer.WriteLn(boundaryLine + "--");
}

// The first rendering of a signed message's body: hashed, and kept as written while it is no
// larger than kKeptBodyLimit, so that a usual message is rendered once; a larger one (attached
// files) is rendered again from its sources rather than held in memory.
class SigningPass : public LineWriter {
public:
    // Large enough for any text message with its HTML part, small beside an attached file.
    static constexpr std::size_t kKeptBodyLimit = 256 * 1024;

    void Write(std::string_view bytes) override
    {
        hash.Write(bytes);
        keep(bytes, {});
    }
    void WriteLn(std::string_view line) override
    {
        hash.WriteLn(line);
        keep(line, "\r\n");
    }

    DkimBodyHash hash;
    std::string kept;
    bool overflow = false;

private:
    void keep(std::string_view bytes, std::string_view end)
    {
        if (overflow)
            return;
        if (kept.size() + bytes.size() + end.size() > kKeptBodyLimit) {
            overflow = true;
            std::string().swap(kept);
            return;
        }
        kept.append(bytes);
        kept.append(end);
    }
};

} // namespace

void WriteMessage(TMailMessage& message, LineWriter& writer, const EncodingParameters& parameters)
{
    const std::vector<std::string> headers = writtenHeaderLines(message, parameters);
    if (!message.Signer) {
        for (const auto& line : headers)
            writer.WriteLn(line);
        writer.WriteLn("");
        writeBody(message, writer, parameters);
        return;
    }

    // Signed: the body is hashed first, as it will be written, then the signature goes ahead
    // of the header block.
    SigningPass pass;
    writeBody(message, pass, parameters);
    const std::size_t at = message.From.Address.rfind('@');
    const std::string_view fromDomain =
        at == std::string::npos ? std::string_view() : std::string_view(message.From.Address).substr(at + 1);
    for (const auto& line : message.Signer->SignatureLines(headers, pass.hash.Finish(), fromDomain, std::time(nullptr)))
        writer.WriteLn(line);
    for (const auto& line : headers)
        writer.WriteLn(line);
    writer.WriteLn("");
    if (pass.overflow)
        writeBody(message, writer, parameters);
    else
        writer.Write(pass.kept);
}

} // namespace quillet
