#include "Iso2022Jp.h"

#include <cstdint>

namespace quillet {

namespace {

// JIS X 0208 codes of the full-width forms of the half-width katakana 0xA1..0xDF (JIS X 0201).
constexpr std::uint16_t kKatakana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, // A1-A8 。「」、・ヲァィ
    0x2525, 0x2527, 0x2529, 0x2563, 0x2565, 0x2567, 0x2543, 0x213C, // A9-B0 ゥェォャュョッー
    0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, // B1-B8 アイウエオカキク
    0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, // B9-C0 ケコサシスセソタ
    0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, // C1-C8 チツテトナニヌネ
    0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, // C9-D0 ノハヒフヘホマミ
    0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569, 0x256A, // D1-D8 ムメモヤユヨラリ
    0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,         // D9-DF ルレロワン゛゜
};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

// The voiced form of a half-width katakana, or 0 when it has none in JIS X 0208.
std::uint16_t voicedForm(unsigned char c)
{
    if (c == 0xB3) // ウ → ヴ
        return 0x2574;
    if ((c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE)) // カ..ト and ハ..ホ rows
        return kKatakana[c - 0xA1] + 1;
    return 0;
}

// The semi-voiced form (ハ row only), or 0.
std::uint16_t semiVoicedForm(unsigned char c)
{
    if (c >= 0xCA && c <= 0xCE)
        return kKatakana[c - 0xA1] + 2;
    return 0;
}

bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}
bool isUserDefinedLeadByte(unsigned char c)
{
    return c >= 0xF0 && c <= 0xFC;
}
bool isTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// The standard Shift_JIS to JIS X 0208 arithmetic.
std::uint16_t shiftJisToJis(unsigned char lead, unsigned char trail)
{
    unsigned row = (lead - (lead <= 0x9F ? 0x70u : 0xB0u)) * 2;
    unsigned cell;
    if (trail < 0x9F) {
        row -= 1;
        cell = trail - (trail >= 0x80 ? 0x20u : 0x1Fu);
    } else {
        cell = trail - 0x7Eu;
    }
    return static_cast<std::uint16_t>((row << 8) | cell);
}

class Iso2022JpWriter {
public:
    explicit Iso2022JpWriter(std::string& out) : out_(out) {}

    void ascii(char c)
    {
        if (doubleByte_) {
            out_ += "\x1b(B";
            doubleByte_ = false;
        }
        out_ += c;
    }

    void jis(std::uint16_t code)
    {
        if (!doubleByte_) {
            out_ += "\x1b$B";
            doubleByte_ = true;
        }
        out_ += static_cast<char>(code >> 8);
        out_ += static_cast<char>(code & 0xFF);
    }

    void finish()
    {
        if (doubleByte_)
            out_ += "\x1b(B";
        doubleByte_ = false;
    }

private:
    std::string& out_;
    bool doubleByte_ = false;
};

} // namespace

std::string ConvertToIso2022Jp(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    Iso2022JpWriter writer(out);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            writer.ascii(static_cast<char>(c));
        } else if (isLeadByte(c)) {
            if (i + 1 < n) {
                const auto trail = static_cast<unsigned char>(text[i + 1]);
                if (isTrailByte(trail))
                    writer.jis(shiftJisToJis(c, trail));
            }
            ++i; // the second byte goes with the lead byte, valid or not
        } else if (c >= 0xA1 && c <= 0xDF) {
            std::uint16_t code = kKatakana[c - 0xA1];
            if (i + 1 < n) {
                const auto next = static_cast<unsigned char>(text[i + 1]);
                std::uint16_t combined = 0;
                if (next == kVoicedMark)
                    combined = voicedForm(c);
                else if (next == kSemiVoicedMark)
                    combined = semiVoicedForm(c);
                if (combined) {
                    code = combined;
                    ++i;
                }
            }
            writer.jis(code);
        } else if (isUserDefinedLeadByte(c)) {
            ++i;
        }
        // 0x80, 0xA0 and 0xFD..0xFF are dropped.
    }
    writer.finish();
    return out;
}

} // namespace quillet
