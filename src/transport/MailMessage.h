// The outgoing message: sender, recipients, subject, body lines (plain, and optionally HTML),
// attached files and the extra header lines, and its rendering onto a line writer (the
// connection after DATA, or a file): the header block, one empty line, then the plain body, or a
// multipart/alternative body (plain, then HTML), or a multipart/mixed body whose first part is
// the text and then one base64 part per attached file. The terminating "." line is the SMTP
// client's.
//
// Text that is plain ASCII goes out as it stands. A text part holding other bytes is labelled
// with the code page's registered charset name and written quoted-printable, which any server
// passes unchanged (8BITMIME or not); the message then carries MIME-Version. The one exception
// is the Japanese single-part body, converted to ISO-2022-JP (7-bit) and labelled so.
//
// Every body line is written with a leading "." doubled, and a body line that holds CR or LF
// is written as separate lines, so no data can end the message text early. Attached files are
// streamed from disk in large blocks and never held in memory whole.
//
// A message with a Signer gets its DKIM-Signature header first: the body is rendered once for
// its hash (and kept when small), then the header block and the body are written (see
// DkimSigner.h).
#pragma once

#include "EMailAddress.h"
#include "EncodedWords.h"
#include "HeaderList.h"
#include "LineWriter.h"

#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillet {

class DkimSigner;

enum class TMessageEncoding { meMIME, meUU };
enum class TMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

class TMailAttachment {
public:
    explicit TMailAttachment(std::string sourcePath);

    // Full path of the file whose bytes are sent.
    std::string SourcePath;
    // The file-name part of SourcePath (the text after the last "/").
    std::string FileName;
    // The part's "Content-Type", "Content-Transfer-Encoding" and "Content-Disposition".
    THeaderList Headers;
    // Further part header lines, written after the standard ones.
    THeaderList ExtraHeaders;

    std::string ContentType() const { return Headers.Value("Content-Type"); }
    void SetContentType(std::string_view value) { Headers.SetValue("Content-Type", value); }
    std::string ContentTransfer() const { return Headers.Value("Content-Transfer-Encoding"); }
    void SetContentTransfer(std::string_view value) { Headers.SetValue("Content-Transfer-Encoding", value); }
    std::string ContentDisposition() const { return Headers.Value("Content-Disposition"); }
    void SetContentDisposition(std::string_view value) { Headers.SetValue("Content-Disposition", value); }
};

class TMailMessage {
public:
    TEMailAddressItem From;
    TEMailAddressItem Sender;
    TEMailAddressList Recipients;
    TEMailAddressList CCList;
    TEMailAddressList BccList;
    TEMailAddressList ReplyTo;
    std::string Subject;
    std::vector<std::string> Body;
    std::string ContentType;
    std::string CharSet;
    std::string ContentTransferEncoding;
    TMessageEncoding Encoding = TMessageEncoding::meMIME;
    std::string AttachmentEncoding = "MIME";
    std::vector<TMailAttachment> Attachments;
    THeaderList ExtraHeaders;
    // Lines of an HTML body sent beside the plain one; none: a plain message.
    std::vector<std::string> HtmlBody;
    // The Message-ID value "<unique@domain>"; empty: no Message-ID line.
    std::string MessageId;
    // Headers added for this message (List-Unsubscribe, the user's own), written after X-Library
    // in order, values encoded as words where they are not ASCII.
    std::vector<std::pair<std::string, std::string>> AddedHeaders;
    // 0: the local time at the moment the header block is built.
    std::time_t Date = 0;
    TMessagePriority Priority = TMessagePriority::mpNormal;
    std::string Organization;
    std::string References;
    TEMailAddressItem ReceiptRecipient;
    std::vector<std::string> NewsGroups;
    // Signs the message as it is written (a DKIM-Signature ahead of the headers); none: unsigned.
    std::shared_ptr<const DkimSigner> Signer;

    // Resets every field to its default.
    void Clear() { *this = TMailMessage(); }
};

// The Date header value for a moment: "Www, D Mmm YYYY HH:NN:SS +HHMM" in local time with the
// local zone's offset (daylight saving included).
std::string FormatMessageDate(std::time_t moment);

// The header block of a message, with the encoding parameters of the current locale.
THeaderList BuildHeaderLines(const TMailMessage& message);
THeaderList BuildHeaderLines(const TMailMessage& message, const EncodingParameters& parameters);

// The media type of an attached file by its name's extension (a table of the common ones);
// application/octet-stream for any other.
std::string MediaTypeOfFileName(std::string_view fileName);

// Writes header block, empty line and body. Stores the attachment defaults (base64,
// attachment, the media type of the file's name) into the attachments. An attached file that cannot be
// opened raises EFileOpenError "Cannot open file "<path>". <reason>".
void WriteMessage(TMailMessage& message, LineWriter& writer);
void WriteMessage(TMailMessage& message, LineWriter& writer, const EncodingParameters& parameters);

} // namespace quillet
