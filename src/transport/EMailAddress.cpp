#include "EMailAddress.h"

#include "MessageTexts.h"

#include <algorithm>
#include <cctype>

namespace quillet {

namespace {

constexpr std::string_view kAtomSpecials = "!#$%&'*+-/=?_`{}|~";

bool isAtomChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kAtomSpecials.find(c) != std::string_view::npos;
}

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s)
{
    return trimRight(trimLeft(s));
}

// Appends the text in double quotes, with a backslash before every backslash and double quote.
void appendQuoted(std::string& out, std::string_view s)
{
    out += '"';
    for (const char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

// Appends " <address>".
void appendAngleAddress(std::string& out, std::string_view address)
{
    out += " <";
    out += address;
    out += '>';
}

// A display name that a header may carry as written (quoted where needed): printable ASCII
// that a receiver cannot take for an encoded word.
bool nameGoesAsIs(std::string_view name)
{
    return !LooksLikeEncodedWord(name) && std::all_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 32 && u <= 126;
    });
}

std::string upperCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The address part of the display form.
std::string displayAddressForm(const std::string& address, bool withName)
{
    if (address.empty())
        return withName ? "<>" : "";
    const std::size_t at = address.rfind('@');
    const std::string_view local =
        at == std::string::npos ? std::string_view() : std::string_view(address).substr(0, at);
    const std::string_view domain = at == std::string::npos ? std::string_view() : std::string_view(address).substr(at);
    const auto firstOther = std::find_if(local.begin(), local.end(), [](char c) { return !isAtomChar(c); });
    std::string form;
    const bool quoteLocal = firstOther != local.end() && *firstOther != '.';
    const bool brackets = quoteLocal || withName;
    if (brackets)
        form += '<';
    if (quoteLocal)
        appendQuoted(form, local);
    else
        form += local;
    form += domain;
    if (brackets)
        form += '>';
    return form;
}

// The scanner that parses one address (writing Text).
class AddressScanner {
public:
    AddressScanner(std::string& address, std::string& name) : address_(address), name_(name) {}

    void run(std::string_view s)
    {
        for (;;) {
            const std::size_t p = s.find_first_of(searchSet());
            if (p == std::string_view::npos)
                break;
            const char c = s[p];
            const std::string_view prefix = s.substr(0, p);
            switch (c) {
            case ' ':
            case '\t':
                if (p == 0) {
                    s.remove_prefix(1);
                } else if (atSeen_) {
                    address_ += trim(prefix);
                    s.remove_prefix(p + 1);
                } else {
                    name_ += s.substr(0, p + 1);
                    s.remove_prefix(p + 1);
                }
                break;
            case '"':
                if (inQuotes_) {
                    (angleSeen_ ? address_ : name_) += trim(prefix);
                    s.remove_prefix(p + 1);
                    inQuotes_ = false;
                } else {
                    inQuotes_ = true;
                    s.remove_prefix(1);
                }
                break;
            case '(':
                if (p == 0) {
                    s.remove_prefix(1);
                } else {
                    if (inAddress_)
                        address_ += trim(prefix);
                    else if (depth_ == 0)
                        name_ += prefix;
                    s.remove_prefix(p + 1);
                }
                ++depth_;
                break;
            case ')':
                s.remove_prefix(p + 1);
                --depth_;
                break;
            case '.':
                if (angleSeen_) {
                    address_ += trim(prefix);
                    address_ += '.';
                    s = trimLeft(s.substr(p + 1));
                } else {
                    address_ += s.substr(0, p + 1);
                    s.remove_prefix(p + 1);
                }
                break;
            case '<':
                name_ += prefix;
                name_ = std::string(trim(name_));
                inAddress_ = angleSeen_ = true;
                s.remove_prefix(p + 1);
                break;
            case '>':
                address_ += trim(prefix);
                inAddress_ = atSeen_ = false;
                s.remove_prefix(p + 1);
                break;
            case '@':
                if (!inAddress_ && angleSeen_)
                    throw EEMailAddressError(kOutsideAddressText);
                atSeen_ = inAddress_ = true;
                address_ += s.substr(0, p + 1);
                s.remove_prefix(p + 1);
                break;
            case '\\': {
                const std::size_t next = std::min(p + 2, s.size());
                if (inQuotes_)
                    (inAddress_ ? address_ : name_) += std::string(prefix) + std::string(s.substr(p + 1, next - p - 1));
                s.remove_prefix(next);
                break;
            }
            }
        }
        if (inAddress_ && !angleSeen_)
            address_ += trim(s);
    }

private:
    std::string_view searchSet() const
    {
        if (depth_ > 0)
            return "()\\";
        if (inQuotes_)
            return "\"\\";
        if (atSeen_)
            return angleSeen_ ? std::string_view(".>(") : std::string_view(".( ");
        if (inAddress_)
            return "\"(@>";
        return "(\"< @\t";
    }

    std::string& address_;
    std::string& name_;
    bool inAddress_ = false;
    bool angleSeen_ = false;
    bool inQuotes_ = false;
    bool atSeen_ = false;
    int depth_ = 0;
};

} // namespace

std::string TEMailAddressItem::Text() const
{
    const std::string addressForm = displayAddressForm(Address, !Name.empty());
    if (Name.empty() || Name == upperCase(Address))
        return addressForm;
    const bool plain = std::all_of(Name.begin(), Name.end(), [](char c) { return c == ' ' || isAtomChar(c); });
    std::string text;
    if (plain)
        text += Name;
    else
        appendQuoted(text, Name);
    text += ' ';
    text += addressForm;
    return text;
}

void TEMailAddressItem::SetText(std::string_view text)
{
    Address.clear();
    Name.clear();
    text = trim(text);
    if (text.empty())
        return;
    if (text.find_first_of("(\"< @\t") == std::string_view::npos) {
        Address = std::string(text);
        return;
    }
    try {
        AddressScanner(Address, Name).run(text);
    } catch (...) {
        Address.clear();
        Name.clear();
        throw;
    }
}

std::string TEMailAddressItem::HeaderForm(const EncodingParameters& parameters) const
{
    const std::string address = SingleLineValue(Address);
    if (Name.empty())
        return address;
    const std::string name = SingleLineValue(Name);
    std::string form;
    if (nameGoesAsIs(name))
        appendQuoted(form, name);
    else
        form = EncodeHeaderWords(name, kAddressSpecials, parameters);
    appendAngleAddress(form, address);
    return form;
}

std::string TEMailAddressItem::SenderHeaderForm(const EncodingParameters& parameters) const
{
    if (Name.empty() || Name == upperCase(Address) || nameGoesAsIs(Name))
        return Text();
    std::string form = EncodeHeaderWords(Name, kAddressSpecials, parameters);
    form += ' ';
    form += displayAddressForm(Address, true);
    return form;
}

std::string TEMailAddressList::AddressesText() const
{
    std::string out;
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (i > 0)
            out += ", ";
        out += Items[i].Text();
    }
    return out;
}

std::string TEMailAddressList::HeaderForm(const EncodingParameters& parameters) const
{
    std::string out;
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (i > 0)
            out += ", ";
        out += Items[i].HeaderForm(parameters);
    }
    return out;
}

void TEMailAddressList::SetAddressesText(std::string_view text)
{
    Items.clear();
    if (trim(text).empty())
        return;
    if (text.find_first_of(":;(\", \t") == std::string_view::npos) {
        Add().SetText(trimLeft(text));
        return;
    }

    // Adds an item parsed from the collected text; when `keepAlways` is false the item is
    // dropped again if it has no usable display form.
    const auto addItem = [this](const std::string& itemText, bool keepAlways) {
        TEMailAddressItem item;
        item.SetText(itemText);
        if (!keepAlways) {
            const std::string text = item.Text();
            const std::string_view shown = trim(text);
            if (shown.empty() || shown == "<>")
                return;
        }
        Items.push_back(std::move(item));
    };

    std::string current;
    bool quoted = false;
    int depth = 0;
    std::string_view s = text;
    for (;;) {
        const std::string_view set = depth > 0 ? std::string_view("()\\")
                                     : quoted  ? std::string_view("\"\\")
                                               : std::string_view(":;(\", \t");
        const std::size_t p = s.find_first_of(set);
        if (p == std::string_view::npos)
            break;
        const char c = s[p];
        switch (c) {
        case '\\': {
            const std::size_t next = std::min(p + 2, s.size());
            current += s.substr(0, next);
            s.remove_prefix(next);
            continue;
        }
        case ',':
            current += s.substr(0, p);
            addItem(current, false);
            current.clear();
            break;
        case ':': current.clear(); break;
        case ';':
            current += s.substr(0, p);
            if (!trim(current).empty())
                addItem(current, true);
            current.clear();
            break;
        default:
            if (c == '"')
                quoted = !quoted;
            else if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
            current += s.substr(0, p + 1);
            break;
        }
        s.remove_prefix(p + 1);
    }
    if (trim(current).empty() && trim(s).empty())
        return;
    current += s;
    addItem(current, false);
}

} // namespace quillet
