// The message writer over any subject, body and HTML texts in the Western, Japanese and UTF-8
// code pages: every line it writes holds no CR or LF of its own, the message is 7-bit (header
// lines printable ASCII and TAB, body lines without 8-bit bytes or NUL), and quoted-printable
// lines are at most 76 printable ASCII characters or TABs (a literal TAB is legal there).
#include "FuzzSupport.h"

#include "transport/MailMessage.h"
#include "transport/QuotedPrintable.h"
#include "transport/StringLineWriter.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields fields(fuzz::bytes(data, size), '\0');
    const std::string_view subject = fields.next();
    const std::string_view body = fields.next();
    const std::string_view html = fields.next();

    std::vector<std::string> encoded;
    AppendQuotedPrintableLines(body.substr(0, body.find_first_of("\r\n")), encoded);
    for (const std::string& line : encoded) {
        QUILLET_FUZZ_CHECK(line.size() <= kMaxQuotedPrintableLine);
        for (const char c : line)
            QUILLET_FUZZ_CHECK((c >= 32 && c < 127) || c == '\t');
        QUILLET_FUZZ_CHECK(line.empty() || (line.back() != ' ' && line.back() != '\t'));
    }

    for (const char* codePage : {"CP1252", "CP932", "UTF-8"}) {
        TMailMessage m;
        m.Sender = TEMailAddressItem("sender@example.org", std::string(subject));
        m.Recipients.Add(TEMailAddressItem("rcpt@example.org", ""));
        m.ContentType = "text/plain";
        m.Subject = std::string(subject);
        m.Body = {std::string(body)};
        if (!html.empty())
            m.HtmlBody = {std::string(html)};
        m.Date = 1796574919;
        StringLineWriter writer;
        WriteMessage(m, writer, EncodingParametersForCodePage(codePage));
        const std::string& text = writer.text;
        bool inHeader = true;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            QUILLET_FUZZ_CHECK(end != std::string::npos);
            const std::string_view line = std::string_view(text).substr(at, end - at);
            QUILLET_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
            inHeader = inHeader && !line.empty();
            for (const char c : line) {
                const auto u = static_cast<unsigned char>(c);
                if (inHeader)
                    QUILLET_FUZZ_CHECK((u >= 32 && u < 127) || u == '\t');
                else
                    QUILLET_FUZZ_CHECK(u != 0 && u < 128);
            }
            at = end + 2;
        }
    }
    return 0;
}
