// E-mail address items and address lists: the mailbox and display name of a sender or recipient,
// their two printed forms and the parsers that fill them from text.
//
// Display form (Text): what the user and the built-in server see, e.g. `John Doe <john@x.org>`.
// Header form: what goes into From, To, Cc, Reply-To and Disposition-Notification-To; a display
// name of printable ASCII is always double-quoted there, any other name becomes encoded words.
// Parsing never fails except for an at sign after a closed angle address ("@ Outside address").
#pragma once

#include "EncodedWords.h"
#include "TransportError.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Raised by the address parser.
class EEMailAddressError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

class TEMailAddressItem {
public:
    // The mailbox as written (local part, at sign, domain), without angle brackets.
    std::string Address;
    // The display name; empty when there is none.
    std::string Name;

    TEMailAddressItem() = default;
    TEMailAddressItem(std::string address, std::string name = {}) : Address(std::move(address)), Name(std::move(name))
    {
    }

    // The display form.
    std::string Text() const;
    // Clears both fields and parses one address with an optional display name. On a parse
    // error both fields are left empty and EEMailAddressError is raised.
    void SetText(std::string_view text);

    // The header form; a name that is not printable ASCII is encoded with the given parameters.
    // CR and LF inside the name or the address become spaces, so the value stays on its lines.
    std::string HeaderForm(const EncodingParameters& parameters) const;
    // The display form as it goes into the Sender header: unchanged for a name of printable
    // ASCII that cannot be read as an encoded word; any other name is sent as encoded words
    // before the address in angle brackets, so the header stays 7-bit and reads back as written.
    std::string SenderHeaderForm(const EncodingParameters& parameters) const;

    bool operator==(const TEMailAddressItem&) const = default;
};

class TEMailAddressList {
public:
    std::vector<TEMailAddressItem> Items;

    bool empty() const { return Items.empty(); }
    std::size_t size() const { return Items.size(); }
    void clear() { Items.clear(); }
    TEMailAddressItem& Add(TEMailAddressItem item = {})
    {
        Items.push_back(std::move(item));
        return Items.back();
    }
    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }
    const TEMailAddressItem& operator[](std::size_t i) const { return Items[i]; }

    // The display forms of all items joined by ", ".
    std::string AddressesText() const;
    // Empties the list and parses a list text (commas and semicolons between addresses,
    // "name:" group prefixes dropped, items whose display form is blank or "<>" left out).
    void SetAddressesText(std::string_view text);

    // The header forms of all items joined by ", "; empty for an empty list.
    std::string HeaderForm(const EncodingParameters& parameters) const;
};

} // namespace quillet
