// The fixed-size records of a project, laid out byte for byte as they are stored in the
// project file: ShortString255 text fields, the properties record, groups, recipient records
// and SMTP accounts. Every text is 8-bit code-page text of at most 255 bytes; longer input is
// cut silently. Comparisons of stored texts are exact and case-sensitive.
#pragma once

#include "CodePage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quillet {

inline constexpr std::size_t kMaxShortStringLength = 255;

// A 256-byte text field: byte 0 holds the length L, bytes 1..L the text. The bytes after the
// text carry no meaning: they are ignored on read and zero-filled when a text is stored.
struct ShortString255 {
    unsigned char bytes[256] = {};

    ShortString255() = default;
    ShortString255(std::string_view text) { set(text); }

    void set(std::string_view text)
    {
        // Under the UTF-8 code page the cut never splits a character.
        const std::size_t n = cutAtCharacter(text, kMaxShortStringLength).size();
        std::memset(bytes, 0, sizeof bytes);
        bytes[0] = static_cast<unsigned char>(n);
        if (n > 0) // an empty view may have no data pointer at all
            std::memcpy(bytes + 1, text.data(), n);
    }
    std::size_t length() const { return bytes[0]; }
    std::string_view view() const { return {reinterpret_cast<const char*>(bytes + 1), length()}; }
    std::string str() const { return std::string(view()); }
    bool operator==(std::string_view text) const { return view() == text; }
};
static_assert(sizeof(ShortString255) == 256);

// The project's own properties (1280 bytes). The field names keep the stored spelling.
struct ProjectProperties {
    ShortString255 Name;
    ShortString255 Description;
    ShortString255 AutorName;
    ShortString255 AutorWEB;
    ShortString255 AutorEmail;
};
static_assert(sizeof(ProjectProperties) == 1280);

// A group: its name and description. Membership is by exact name (RecipientRecord::Group).
struct GroupEntry {
    std::string name;
    std::string description;
};

#pragma pack(push, 1)
// One recipient (3073 bytes, packed: no alignment gaps).
struct RecipientRecord {
    ShortString255 EMail;       // offset 0
    ShortString255 Name;        // 256
    ShortString255 Surname;     // 512
    std::uint8_t Enabled = 1;   // 768: 0 disabled, anything else enabled; 1 is written for enabled
    ShortString255 ParamName1;  // 769
    ShortString255 ParamName2;  // 1025
    ShortString255 ParamName3;  // 1281
    ShortString255 ParamName4;  // 1537
    ShortString255 ParamValue1; // 1793
    ShortString255 ParamValue2; // 2049
    ShortString255 ParamValue3; // 2305
    ShortString255 ParamValue4; // 2561
    ShortString255 Group;       // 2817

    bool enabled() const { return Enabled != 0; }
    // The parameter fields by number, i = 0..3 (each field is named: they are no array).
    constexpr const ShortString255& paramName(int i) const
    {
        return i == 0 ? ParamName1 : i == 1 ? ParamName2 : i == 2 ? ParamName3 : ParamName4;
    }
    constexpr ShortString255& paramName(int i)
    {
        return i == 0 ? ParamName1 : i == 1 ? ParamName2 : i == 2 ? ParamName3 : ParamName4;
    }
    constexpr const ShortString255& paramValue(int i) const
    {
        return i == 0 ? ParamValue1 : i == 1 ? ParamValue2 : i == 2 ? ParamValue3 : ParamValue4;
    }
    constexpr ShortString255& paramValue(int i)
    {
        return i == 0 ? ParamValue1 : i == 1 ? ParamValue2 : i == 2 ? ParamValue3 : ParamValue4;
    }
};
#pragma pack(pop)
static_assert(sizeof(RecipientRecord) == 3073);
static_assert(offsetof(RecipientRecord, Enabled) == 768);
static_assert(offsetof(RecipientRecord, ParamName1) == 769);
static_assert(offsetof(RecipientRecord, ParamValue1) == 1793);
static_assert(offsetof(RecipientRecord, Group) == 2817);
// The numbered access reaches each named field (evaluated by the compiler, which refuses any
// access outside the field it names).
static_assert([] {
    RecipientRecord r;
    return &r.paramName(0) == &r.ParamName1 && &r.paramName(3) == &r.ParamName4 && &r.paramValue(1) == &r.ParamValue2 &&
           &r.paramValue(3) == &r.ParamValue4;
}());

// The yes/no words of list rows and files, compared exactly and case-sensitively.
inline constexpr std::string_view kTrue = "True";
inline constexpr std::string_view kFalse = "False";

// An SMTP account: eight texts in file and column order.
struct SmtpAccount {
    std::string host;        // "SMTP Server"
    std::string user;        // "User name"
    std::string password;    // "Password"
    std::string port;        // "Port", decimal text as typed
    std::string fromName;    // "From name"
    std::string fromAddress; // "From address"
    std::string replyTo;     // "Reply to"
    std::string enabled;     // "Enabled": "True" or "False" as stored

    bool isEnabled() const { return enabled == kTrue; }
};

} // namespace quillet
