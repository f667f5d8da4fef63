#include "MailMessage.h"

#include "Base64.h"
#include "Iso2022Jp.h"
#include "MessageTexts.h"
#include "TransportError.h"

#include "project/FileDescriptor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kPartIndent = "        ";

std::string multipartContentType() { return std::string("multipart/mixed; boundary=\"") + kMessageBoundary + "\""; }

// Writes one body line; a line holding CR or LF goes out as several lines (CR LF, a lone CR
// and a lone LF each end one), each with its leading "." doubled.
void writeBodyLine(LineWriter& writer, std::string_view line, bool toIso2022Jp)
{
    for (;;) {
        const std::size_t brk = line.find_first_of("\r\n");
        const std::string_view piece = line.substr(0, brk);
        std::string out;
        if (!piece.empty() && piece[0] == '.')
            out += '.';
        out += toIso2022Jp ? ConvertToIso2022Jp(piece) : std::string(piece);
        writer.WriteLn(out);
        if (brk == std::string_view::npos)
            return;
        const std::size_t next = line.compare(brk, 2, "\r\n") == 0 ? brk + 2 : brk + 1;
        line.remove_prefix(next);
    }
}

void writeBodyLines(LineWriter& writer, const std::vector<std::string>& body, bool toIso2022Jp)
{
    for (const auto& line : body)
        writeBodyLine(writer, line, toIso2022Jp);
}

void writeAttachment(LineWriter& writer, TMailAttachment& attachment)
{
    writer.WriteLn("");
    writer.WriteLn(std::string("--") + kMessageBoundary);
    if (attachment.ContentTransfer().empty())
        attachment.SetContentTransfer("base64");
    if (attachment.ContentDisposition().empty())
        attachment.SetContentDisposition("attachment");
    if (attachment.ContentTransfer() == "base64" && attachment.ContentType().empty())
        attachment.SetContentType("application/octet-stream");
    const std::string fileName = SingleLineValue(attachment.FileName);
    writer.WriteLn("Content-Type: " + attachment.ContentType() + ";");
    writer.WriteLn(std::string(kPartIndent) + "name=\"" + fileName + "\"");
    writer.WriteLn("Content-Transfer-Encoding: " + attachment.ContentTransfer());
    writer.WriteLn("Content-Disposition: " + attachment.ContentDisposition() + ";");
    writer.WriteLn(std::string(kPartIndent) + "filename=\"" + fileName + "\"");
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
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDayNames[local.tm_wday],
                  local.tm_mday, kMonthNames[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

THeaderList BuildHeaderLines(const TMailMessage& message) { return BuildHeaderLines(message, CurrentEncodingParameters()); }

THeaderList BuildHeaderLines(const TMailMessage& m, const EncodingParameters& parameters)
{
    const bool mime = m.Encoding == TMessageEncoding::meMIME;
    const bool hasParts = !m.Attachments.empty();
    THeaderList h;
    if (!m.From.Address.empty() || !m.From.Name.empty())
        h.SetValue("From", m.From.HeaderForm(parameters));
    h.SetValue("Subject", EncodeHeaderWords(SingleLineValue(m.Subject), kTextSpecials, parameters));
    h.SetValue("To", m.Recipients.HeaderForm(parameters));
    h.SetValue("Cc", m.CCList.HeaderForm(parameters));
    std::string groups;
    for (const auto& group : m.NewsGroups)
        groups += (groups.empty() ? "" : ",") + group;
    h.SetValue("Newsgroups", SingleLineValue(groups));
    if (mime) {
        std::string contentType = hasParts ? multipartContentType() : m.ContentType;
        if (!hasParts && !contentType.empty() && !m.CharSet.empty())
            contentType += "; charset=" + m.CharSet;
        h.SetValue("Content-Type", SingleLineValue(contentType));
        if (hasParts)
            h.SetValue("MIME-Version", "1.0");
    }
    h.SetValue("Content-Transfer-Encoding", SingleLineValue(m.ContentTransferEncoding));
    TEMailAddressItem sender(SingleLineValue(m.Sender.Address), SingleLineValue(m.Sender.Name));
    h.SetValue("Sender", sender.Text());
    h.SetValue("Reply-To", m.ReplyTo.HeaderForm(parameters));
    h.SetValue("Organization", EncodeHeaderWords(SingleLineValue(m.Organization), kTextSpecials, parameters));
    h.SetValue("Disposition-Notification-To", m.ReceiptRecipient.HeaderForm(parameters));
    h.SetValue("References", SingleLineValue(m.References));
    h.SetValue("Date", FormatMessageDate(m.Date != 0 ? m.Date : std::time(nullptr)));
    h.SetValue("X-Priority", std::to_string(static_cast<int>(m.Priority) + 1));
    h.SetValue("X-Library", kLibraryName);
    h.Append(m.ExtraHeaders);
    return h;
}

void WriteMessage(TMailMessage& message, LineWriter& writer) { WriteMessage(message, writer, CurrentEncodingParameters()); }

void WriteMessage(TMailMessage& message, LineWriter& writer, const EncodingParameters& parameters)
{
    {
        const THeaderList headers = BuildHeaderLines(message, parameters);
        for (const auto& line : headers.Lines())
            writer.WriteLn(SingleLineValue(line));
    }
    writer.WriteLn("");

    if (message.Attachments.empty()) {
        writeBodyLines(writer, message.Body, parameters.TransferMode == TTransfer::iso2022jp);
        return;
    }
    const std::string boundaryLine = std::string("--") + kMessageBoundary;
    writer.WriteLn(kMultipartPreamble);
    writer.WriteLn("");
    writer.WriteLn(boundaryLine);
    writer.WriteLn("Content-Type: text/plain");
    writer.WriteLn("Content-Transfer-Encoding: 7bit");
    writer.WriteLn("");
    writeBodyLines(writer, message.Body, false);
    for (auto& attachment : message.Attachments)
        writeAttachment(writer, attachment);
    writer.WriteLn(boundaryLine + "--");
}

} // namespace quillet
