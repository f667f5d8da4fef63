#include "HtmlPlainText.h"

#include "project/CodePage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace quillet {

namespace {

struct NamedReference {
    std::string_view name;
    std::uint32_t code;
};

// The references a written page commonly holds; others stay as written.
constexpr NamedReference kNamedReferences[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},        {"quot", '"'},     {"apos", '\''},    {"nbsp", ' '},
    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122},  {"euro", 0x20AC},  {"pound", 0xA3},   {"yen", 0xA5},
    {"cent", 0xA2},    {"sect", 0xA7},    {"deg", 0xB0},      {"plusmn", 0xB1},  {"times", 0xD7},   {"divide", 0xF7},
    {"middot", 0xB7},  {"bull", 0x2022},  {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},
    {"rsquo", 0x2019}, {"sbquo", 0x201A}, {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"bdquo", 0x201E}, {"laquo", 0xAB},
    {"raquo", 0xBB},   {"iexcl", 0xA1},   {"iquest", 0xBF},   {"shy", 0xAD},     {"auml", 0xE4},    {"ouml", 0xF6},
    {"uuml", 0xFC},    {"Auml", 0xC4},    {"Ouml", 0xD6},     {"Uuml", 0xDC},    {"szlig", 0xDF},   {"eacute", 0xE9},
    {"egrave", 0xE8},  {"ecirc", 0xEA},   {"Eacute", 0xC9},   {"aacute", 0xE1},  {"agrave", 0xE0},  {"acirc", 0xE2},
    {"iacute", 0xED},  {"oacute", 0xF3},  {"uacute", 0xFA},   {"ntilde", 0xF1},  {"ccedil", 0xE7},  {"Ccedil", 0xC7},
    {"aring", 0xE5},   {"Aring", 0xC5},   {"oslash", 0xF8},   {"Oslash", 0xD8},  {"aelig", 0xE6},   {"AElig", 0xC6},
};

// Tags that end the line, and tags that leave an empty line.
constexpr std::array<std::string_view, 16> kLineTags{"br",      "div",     "li",      "tr",     "dt",      "dd",
                                                     "section", "article", "header",  "footer", "address", "center",
                                                     "main",    "nav",     "caption", "form"};
constexpr std::array<std::string_view, 14> kParagraphTags{"p",  "h1", "h2",    "h3",  "h4", "h5", "h6",
                                                          "ul", "ol", "table", "pre", "hr", "dl", "blockquote"};
// Elements whose contents are not text for the reader.
constexpr std::array<std::string_view, 4> kHiddenElements{"head", "script", "style", "title"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string utf8Of(std::uint32_t code)
{
    std::string out;
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
    return out;
}

// The code point of a reference's body ("amp", "#233", "#xE9"); 0 when it names none.
std::uint32_t referenceCode(std::string_view body)
{
    if (body.size() > 1 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty())
            return 0;
        std::uint32_t code = 0;
        for (const char c : digits) {
            const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                              : hex && std::isxdigit(static_cast<unsigned char>(c))
                                  ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                  : -1;
            if (digit < 0)
                return 0;
            code = code * (hex ? 16 : 10) + std::uint32_t(digit);
            if (code > 0x10FFFF)
                return 0;
        }
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        return surrogate ? 0 : code;
    }
    for (const NamedReference& reference : kNamedReferences)
        if (reference.name == body)
            return reference.code;
    return 0;
}

// Step 5: the text of an attribute value or a run of text with its references replaced.
std::string decodeReferences(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i + 1);
        const std::size_t length = end == std::string_view::npos ? 0 : end - i - 1;
        const std::uint32_t code =
            length && length <= kMaxCharacterReference ? referenceCode(text.substr(i + 1, length)) : 0;
        if (code == 0 || code == 0xAD) {
            if (code == 0xAD) // a soft hyphen shows only where a line is broken
                i = end;
            else
                out += '&';
            continue;
        }
        out += code < 0x80 ? std::string(1, char(code)) : utf8ToCodePageForMessage(utf8Of(code));
        i = end;
    }
    return out;
}

// One tag as read: its lower-case name, whether it closes, and the attributes asked for.
struct Tag {
    std::string name;
    bool closing = false;
    std::string href;
    std::string alt;
};

// Reads the attribute `name` of a tag's text (after the tag name); empty when absent.
std::string attribute(std::string_view tagText, std::string_view name)
{
    std::size_t i = 0;
    while (i < tagText.size()) {
        while (i < tagText.size() && (isSpace(tagText[i]) || tagText[i] == '/'))
            ++i;
        const std::size_t start = i;
        while (i < tagText.size() && !isSpace(tagText[i]) && tagText[i] != '=' && tagText[i] != '/')
            ++i;
        const std::string attributeName = lower(tagText.substr(start, i - start));
        while (i < tagText.size() && isSpace(tagText[i]))
            ++i;
        std::string_view value;
        if (i < tagText.size() && tagText[i] == '=') {
            ++i;
            while (i < tagText.size() && isSpace(tagText[i]))
                ++i;
            if (i < tagText.size() && (tagText[i] == '"' || tagText[i] == '\'')) {
                const char quote = tagText[i++];
                const std::size_t end = std::min(tagText.find(quote, i), tagText.size());
                value = tagText.substr(i, end - i);
                i = end + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < tagText.size() && !isSpace(tagText[i]))
                    ++i;
                value = tagText.substr(valueStart, i - valueStart);
            }
        }
        if (attributeName == name)
            return decodeReferences(value);
        if (i == start)
            ++i;
    }
    return {};
}

// The end of the tag starting at `open` ("<"), quotes respected; npos when it never ends.
std::size_t tagEnd(std::string_view html, std::size_t open)
{
    char quote = 0;
    for (std::size_t i = open + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            // Quotes count only inside attribute values (after "=").
            std::size_t before = i;
            while (before > open + 1 && isSpace(html[before - 1]))
                --before;
            if (html[before - 1] == '=')
                quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// Where "</name" starts (letter case ignored) at or after `from`; npos when nowhere.
std::size_t findEndTag(std::string_view html, std::size_t from, std::string_view name)
{
    for (std::size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2)) {
        const std::string_view candidate = html.substr(at + 2, name.size());
        if (candidate.size() == name.size() && lower(candidate) == name)
            return at;
    }
    return std::string_view::npos;
}

Tag readTag(std::string_view inner)
{
    Tag tag;
    if (!inner.empty() && inner[0] == '/') {
        tag.closing = true;
        inner.remove_prefix(1);
    }
    std::size_t end = 0;
    while (end < inner.size() && (std::isalnum(static_cast<unsigned char>(inner[end])) || inner[end] == '-'))
        ++end;
    tag.name = lower(inner.substr(0, end));
    if (!tag.closing && tag.name == "a")
        tag.href = attribute(inner.substr(end), "href");
    if (!tag.closing && tag.name == "img")
        tag.alt = attribute(inner.substr(end), "alt");
    return tag;
}

// Steps 2 to 4: collects the text with its breaks.
class PlainWriter {
public:
    void text(std::string_view run, bool preformatted)
    {
        const std::string decoded = decodeReferences(run);
        for (const char c : decoded) {
            if (preformatted) {
                if (c == '\n')
                    newLine();
                else if (c != '\r')
                    put(c);
            } else if (isSpace(c)) {
                pendingSpace_ = true;
            } else {
                put(c);
            }
        }
    }
    // Text of an attribute (a link's target, an image's alt text): its white space, line breaks
    // included, is one space.
    void word(std::string_view text)
    {
        bool space = false;
        for (const char c : text) {
            if (isSpace(c)) {
                space = true;
                continue;
            }
            if (space)
                put(' ');
            space = false;
            put(c);
        }
        if (space)
            pendingSpace_ = true;
    }
    void space() { pendingSpace_ = true; }
    void newLine()
    {
        lines_.push_back(std::move(line_));
        line_.clear();
        pendingSpace_ = false;
    }
    // Ends the line unless it is empty; a paragraph also leaves an empty line.
    void endLine()
    {
        if (!line_.empty())
            newLine();
        pendingSpace_ = false;
    }
    void endParagraph()
    {
        endLine();
        if (!lines_.empty() && !lines_.back().empty())
            lines_.emplace_back();
    }
    // Where the text stands, and the text put on the same line since then (a link's text).
    struct Mark {
        std::size_t lines = 0;
        std::size_t column = 0;
    };
    Mark mark() const { return {lines_.size(), line_.size()}; }
    std::string since(Mark marked) const
    {
        if (marked.lines != lines_.size())
            return {};
        std::string text = line_.substr(std::min(line_.size(), marked.column));
        text.erase(0, text.find_first_not_of(' '));
        return text;
    }

    // Step 6.
    std::vector<std::string> take()
    {
        endLine();
        std::vector<std::string> result;
        for (std::string& line : lines_) {
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                line.pop_back();
            if (line.empty() && (result.empty() || result.back().empty()))
                continue;
            result.push_back(std::move(line));
        }
        while (!result.empty() && result.back().empty())
            result.pop_back();
        return result;
    }

private:
    void put(char c)
    {
        if (pendingSpace_ && !line_.empty())
            line_ += ' ';
        pendingSpace_ = false;
        line_ += c;
    }

    std::vector<std::string> lines_;
    std::string line_;
    bool pendingSpace_ = false;
};

} // namespace

std::vector<std::string> PlainTextFromHtml(const std::vector<std::string>& htmlLines)
{
    std::string html;
    for (const std::string& line : htmlLines) {
        html += line;
        html += '\n';
    }
    const std::string_view page(html);

    PlainWriter out;
    int preformatted = 0;
    // Lists as they nest: the number of the next item of an ordered one, 0 for an unordered one.
    std::vector<int> lists;
    std::string href;
    PlainWriter::Mark linkStart;

    std::size_t i = 0;
    while (i < page.size()) {
        const std::size_t open = page.find('<', i);
        const std::size_t textEnd = open == std::string_view::npos ? page.size() : open;
        out.text(page.substr(i, textEnd - i), preformatted > 0);
        if (open == std::string_view::npos)
            break;
        i = open;
        // Step 1: comments.
        if (page.substr(i, 4) == "<!--") {
            const std::size_t end = page.find("-->", i + 4);
            i = end == std::string_view::npos ? page.size() : end + 3;
            continue;
        }
        const char next = i + 1 < page.size() ? page[i + 1] : '\0';
        if (!std::isalpha(static_cast<unsigned char>(next)) && next != '/' && next != '!' && next != '?') {
            out.text("<", preformatted > 0);
            ++i;
            continue;
        }
        const std::size_t close = tagEnd(page, i);
        if (close == std::string_view::npos)
            break;
        const Tag tag = readTag(page.substr(i + 1, close - i - 1));
        i = close + 1;
        if (tag.name.empty())
            continue; // <!DOCTYPE ...>, <?xml ...?>

        if (!tag.closing && among(kHiddenElements, tag.name)) {
            // Step 1: everything up to the element's end tag.
            const std::size_t end = findEndTag(page, i, tag.name);
            if (end == std::string_view::npos)
                break;
            const std::size_t endClose = page.find('>', end);
            i = endClose == std::string_view::npos ? page.size() : endClose + 1;
            continue;
        }
        if (tag.name == "pre")
            preformatted = std::max(0, preformatted + (tag.closing ? -1 : 1));
        if (tag.name == "ul" || tag.name == "ol") {
            if (tag.closing && !lists.empty())
                lists.pop_back();
            else if (!tag.closing)
                lists.push_back(tag.name == "ol" ? 1 : 0);
        }

        if (tag.name == "br") {
            out.newLine();
        } else if (tag.name == "hr") {
            out.endParagraph();
            out.word(std::string(40, '-'));
            out.endParagraph();
        } else if (among(kParagraphTags, tag.name)) {
            out.endParagraph();
        } else if (among(kLineTags, tag.name)) {
            out.endLine();
            if (tag.name == "li" && !tag.closing) {
                const bool ordered = !lists.empty() && lists.back() > 0;
                out.word(ordered ? std::to_string(lists.back()++) + ". " : "- ");
            }
        } else if (tag.name == "td" || tag.name == "th") {
            out.space();
        } else if (tag.name == "img" && !tag.alt.empty()) {
            out.space();
            out.word("[" + tag.alt + "]");
            out.space();
        } else if (tag.name == "a") {
            if (!tag.closing) {
                href = tag.href;
                linkStart = out.mark();
            } else if (!href.empty()) {
                // Step 3.
                const std::string shown = out.since(linkStart);
                const bool samePlace = shown == href || "mailto:" + shown == href;
                if (href[0] != '#' && !samePlace) {
                    out.space();
                    out.word("(" + href + ")");
                }
                href.clear();
            }
        }
    }
    return out.take();
}

} // namespace quillet
