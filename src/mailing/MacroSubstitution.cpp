#include "MacroSubstitution.h"

#include "MailingTexts.h"

#include "project/CodePage.h"

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <vector>
#include <utility>

namespace quillet {

namespace {

using MacroTable = std::array<std::pair<std::string, std::string_view>, 14>;

// The fourteen steps in the order they are applied.
MacroTable buildTable(const MacroRecipient& r, const ProjectProperties& p)
{
    const RecipientRecord& rec = r.record;
    auto named = [&](int i) {
        std::string macro = "%";
        macro += rec.paramName(i).view();
        macro += '%';
        return macro;
    };
    return MacroTable{{
        {"%ADDRESS%", r.email},
        {"%NAME%", r.name},
        {"%SURNAME%", r.surname},
        {"%AUTHORNAME%", p.AutorName.view()},
        {"%AUTHORWEB%", p.AutorWEB.view()},
        {"%AUTHOREMAIL%", p.AutorEmail.view()},
        {"%PARAM1%", rec.paramValue(0).view()},
        {"%PARAM2%", rec.paramValue(1).view()},
        {"%PARAM3%", rec.paramValue(2).view()},
        {"%PARAM4%", rec.paramValue(3).view()},
        {named(0), rec.paramValue(0).view()},
        {named(1), rec.paramValue(1).view()},
        {named(2), rec.paramValue(2).view()},
        {named(3), rec.paramValue(3).view()},
    }};
}

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

// The text under substitution, held with a gap at the place of the last replacement: a
// replacement moves only the bytes between it and the gap, not the whole rest of the text, so
// passes that walk through many occurrences cost what they walk, not the text's length each.
// Every byte moved is added to `effort`.
class GapText {
public:
    GapText(std::string_view text, std::size_t& effort)
        : buffer_(text), gapAt_(text.size()), gapEnd_(text.size()), effort_(effort)
    {
    }

    std::size_t size() const { return buffer_.size() - (gapEnd_ - gapAt_); }
    char operator[](std::size_t i) const { return buffer_[i < gapAt_ ? i : i + (gapEnd_ - gapAt_)]; }

    // The bytes [from, to) in one piece; the gap moves out of the way to the nearer end.
    std::string_view view(std::size_t from, std::size_t to)
    {
        if (from < gapAt_ && to > gapAt_)
            moveGap(gapAt_ - from <= to - gapAt_ ? from : to);
        const std::size_t physical = from < gapAt_ ? from : from + (gapEnd_ - gapAt_);
        return std::string_view(buffer_).substr(physical, to - from);
    }

    void replace(std::size_t at, std::size_t removed, std::string_view inserted)
    {
        moveGap(at);
        gapEnd_ += removed;
        if (gapEnd_ - gapAt_ < inserted.size()) {
            const std::size_t tail = buffer_.size() - gapEnd_;
            const std::size_t gap = inserted.size() + buffer_.size() / 2 + 64;
            std::string grown(gapAt_ + gap + tail, '\0');
            grown.replace(0, gapAt_, buffer_, 0, gapAt_);
            grown.replace(gapAt_ + gap, tail, buffer_, gapEnd_, tail);
            buffer_ = std::move(grown);
            gapEnd_ = gapAt_ + gap;
            effort_ += buffer_.size();
        }
        buffer_.replace(gapAt_, inserted.size(), inserted);
        gapAt_ += inserted.size();
        effort_ += inserted.size() + 1;
    }

    std::string str() const { return buffer_.substr(0, gapAt_) + buffer_.substr(gapEnd_); }

private:
    void moveGap(std::size_t to)
    {
        const std::size_t gap = gapEnd_ - gapAt_;
        if (to < gapAt_) {
            std::copy_backward(buffer_.begin() + std::ptrdiff_t(to), buffer_.begin() + std::ptrdiff_t(gapAt_),
                               buffer_.begin() + std::ptrdiff_t(gapEnd_));
            effort_ += gapAt_ - to;
        } else if (to > gapAt_) {
            std::copy(buffer_.begin() + std::ptrdiff_t(gapEnd_), buffer_.begin() + std::ptrdiff_t(to + gap),
                      buffer_.begin() + std::ptrdiff_t(gapAt_));
            effort_ += to - gapAt_;
        }
        gapAt_ = to;
        gapEnd_ = to + gap;
    }

    std::string buffer_;
    std::size_t gapAt_;
    std::size_t gapEnd_;
    std::size_t& effort_;
};

// Where an occurrence of one macro text may still start: nowhere outside a few stretches
// [from, to). Every replacement adds the stretch it touched, so a step searches only what changed
// since its last search, and a pass costs a few short searches however long the text is, also
// when the passes replace at places far apart. Stretches are merged where they meet, and the two
// nearest when there are more than kMostStretches (searching more is only slower, never wrong).
class Candidates {
public:
    bool none() const { return count_ == 0; }

    // The leftmost occurrence of `macro` in `text`, searching the stretches from the left and
    // adding the bytes examined to `effort`. Stretches before it are known to hold none now;
    // the one it is in starts at it.
    std::size_t find(GapText& text, std::string_view macro, std::size_t& effort)
    {
        for (std::size_t i = 0; i < count_; ++i) {
            Stretch& s = stretches_[i];
            const std::size_t end = s.to == kNowhere ? text.size() : std::min(text.size(), s.to + macro.size() - 1);
            if (s.from >= end)
                continue;
            const std::size_t found = text.view(s.from, end).find(macro);
            effort += (found == std::string_view::npos ? end - s.from : found + macro.size());
            if (found != std::string_view::npos) {
                s.from += found;
                std::copy(stretches_.begin() + std::ptrdiff_t(i), stretches_.begin() + std::ptrdiff_t(count_),
                          stretches_.begin());
                count_ -= i;
                return stretches_[0].from;
            }
        }
        count_ = 0;
        return std::string::npos;
    }

    // A replacement at `at` of `removed` bytes by `inserted` bytes: positions behind it move,
    // and a macro text of `length` bytes may now start anywhere it overlaps the new bytes.
    void replaced(std::size_t at, std::size_t removed, std::size_t inserted, std::size_t length)
    {
        const std::size_t touchedTo = at + inserted;
        const auto moved = [&](std::size_t position) {
            if (position == kNowhere || position <= at)
                return position;
            return position >= at + removed ? position - removed + inserted : touchedTo;
        };
        const Stretch touched{at >= length - 1 ? at - (length - 1) : 0, touchedTo};
        std::array<Stretch, kMostStretches + 1> merged;
        std::size_t n = 0;
        const auto add = [&](Stretch s) {
            if (s.from >= s.to)
                return;
            if (n > 0 && s.from <= merged[n - 1].to)
                merged[n - 1].to = std::max(merged[n - 1].to, s.to);
            else
                merged[n++] = s;
        };
        bool placed = false;
        for (std::size_t i = 0; i < count_; ++i) {
            const Stretch s{moved(stretches_[i].from), moved(stretches_[i].to)};
            if (!placed && touched.from < s.from) {
                add(touched);
                placed = true;
            }
            add(s);
        }
        if (!placed)
            add(touched);
        if (n > kMostStretches) {
            std::size_t nearest = 0;
            for (std::size_t i = 1; i + 1 < n; ++i)
                if (merged[i + 1].from - merged[i].to < merged[nearest + 1].from - merged[nearest].to)
                    nearest = i;
            merged[nearest].to = merged[nearest + 1].to;
            std::copy(merged.begin() + std::ptrdiff_t(nearest + 2), merged.begin() + std::ptrdiff_t(n),
                      merged.begin() + std::ptrdiff_t(nearest + 1));
            --n;
        }
        std::copy(merged.begin(), merged.begin() + std::ptrdiff_t(n), stretches_.begin());
        count_ = n;
    }

private:
    static constexpr std::size_t kMostStretches = 8;
    struct Stretch {
        std::size_t from;
        std::size_t to;
    };
    std::array<Stretch, kMostStretches> stretches_{Stretch{0, kNowhere}};
    std::size_t count_ = 1;
};

// Whether a pass that replaced something left the text as it found it (a value that re-creates
// what an earlier step of the pass replaced). A pass whose length changed did not. Replacements
// by values as long as their macro texts overwrite in place: the bytes they touched are compared
// with the bytes they first overwrote. Otherwise the stretch the pass touched is undone on a copy
// and compared; the text around it is the same before and after.
class PassRecord {
public:
    void begin(std::size_t size)
    {
        startSize_ = size;
        inPlace_ = true;
        overwritten_.clear();
        edits_.clear();
        touchedFrom_ = kNowhere;
        touchedTo_ = 0;
    }
    // Before the replacement of the macro text `removed` at `at` by `inserted`.
    void replacing(std::size_t at, std::string_view removed, std::string_view inserted)
    {
        edits_.push_back({at, removed, inserted});
        if (removed.size() != inserted.size())
            inPlace_ = false;
        if (inPlace_)
            for (std::size_t i = 0; i < removed.size(); ++i)
                overwritten_.push_back({at + i, overwritten_.size(), removed[i]});
        touchedFrom_ = std::min(touchedFrom_, at);
        if (touchedTo_ > at)
            touchedTo_ = touchedTo_ >= at + removed.size() ? touchedTo_ - removed.size() + inserted.size()
                                                           : at + inserted.size();
        touchedTo_ = std::max(touchedTo_, at + inserted.size());
    }
    // Adds the bytes it examined to `effort`.
    bool unchanged(GapText& work, std::size_t& effort)
    {
        if (work.size() != startSize_)
            return false;
        if (inPlace_) {
            std::sort(overwritten_.begin(), overwritten_.end());
            for (std::size_t i = 0; i < overwritten_.size(); ++i) {
                const Byte& first = overwritten_[i];
                if ((i == 0 || overwritten_[i - 1].at != first.at) && work[first.at] != first.was)
                    return false;
            }
            return true;
        }
        const std::string_view after = work.view(touchedFrom_, touchedTo_);
        std::string before(after);
        for (auto edit = edits_.rbegin(); edit != edits_.rend(); ++edit)
            before.replace(edit->at - touchedFrom_, edit->inserted.size(), edit->removed);
        effort += 2 * after.size() * edits_.size();
        return before == after;
    }

private:
    struct Edit {
        std::size_t at;
        std::string_view removed;
        std::string_view inserted;
    };
    struct Byte {
        std::size_t at;
        std::size_t order; // the first record of a position holds its byte before the pass
        char was;
        bool operator<(const Byte& other) const { return std::tie(at, order) < std::tie(other.at, other.order); }
    };
    std::size_t startSize_ = 0;
    bool inPlace_ = true;
    std::vector<Byte> overwritten_;
    std::vector<Edit> edits_;
    std::size_t touchedFrom_ = kNowhere; // the stretch the pass's edits cover, in the text as it is now
    std::size_t touchedTo_ = 0;
};

} // namespace

// The passes exactly as stated in the header: each of the fourteen steps replaces the leftmost
// occurrence of its macro text in the text as the earlier steps left it, and passes repeat until
// one leaves the text as it found it. Work, not passes, is bounded: a text with any number of
// occurrences settles, and values that keep re-creating each other's macro texts end with an
// error once they have cost kMaxMacroWork bytes searched, moved or compared (kMacroPassWork a
// pass), beside the allowance for the passes the line's own percent signs can need.
namespace {

std::string substituteByPasses(std::string_view text, const MacroTable& table, const MacroRecipient& recipient)
{
    const std::size_t maxLength = std::max(kMaxMacroResultLength, text.size());
    const std::size_t allowed = kMaxMacroWork + kMacroPassWork * std::size_t(std::count(text.begin(), text.end(), '%'));
    std::size_t effort = 0;
    GapText work(text, effort);
    std::array<Candidates, 14> candidates{};
    PassRecord pass;
    for (;;) {
        pass.begin(work.size());
        effort += kMacroPassWork;
        bool replaced = false;
        for (std::size_t step = 0; step < table.size(); ++step) {
            const auto& [macro, value] = table[step];
            Candidates& where = candidates[step];
            if (where.none())
                continue;
            const std::size_t at = where.find(work, macro, effort);
            if (at == std::string::npos)
                continue;
            if (value == macro)
                continue; // the text stays as it is
            pass.replacing(at, macro, value);
            work.replace(at, macro.size(), value);
            replaced = true;
            if (work.size() > maxLength)
                throw EMacroSubstitutionError(
                    formatMessage(kMacroTooLong, {recipient.email, std::to_string(maxLength)}));
            for (std::size_t other = 0; other < table.size(); ++other)
                candidates[other].replaced(at, macro.size(), value.size(), table[other].first.size());
        }
        if (!replaced || pass.unchanged(work, effort))
            return work.str();
        if (effort > allowed)
            throw EMacroSubstitutionError(formatMessage(kMacroDoesNotSettle, {recipient.email}));
    }
}

// The one scan stays well inside the passes' limits: its texts are short and hold few macros.
constexpr std::size_t kOneScanLength = 4 * 1024;
constexpr std::size_t kOneScanMacros = 32;

} // namespace

std::string SubstituteMacros(std::string_view text, const MacroRecipient& recipient, const ProjectProperties& project)
{
    // Without a percent sign no macro can occur; the common case costs one scan.
    if (text.find('%') == std::string_view::npos)
        return std::string(text);
    return substituteByPasses(text, buildTable(recipient, project), recipient);
}

RecipientMacros::RecipientMacros(const MacroRecipient& recipient, const ProjectProperties& project)
    : recipient_(recipient), project_(project), table_(buildTable(recipient, project))
{
    oneScan_ = true;
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const std::string_view macro = table_[i].first;
        const std::string_view name = macro.substr(1, macro.size() - 2);
        if (name.find('%') != std::string_view::npos || table_[i].second.find('%') != std::string_view::npos)
            oneScan_ = false;
        for (const char c : name)
            nameBytes_.set(static_cast<unsigned char>(c));
        for (std::size_t j = 0; j < i; ++j)
            if (table_[j].first == macro && table_[j].second != table_[i].second)
                oneScan_ = false;
    }
}

int RecipientMacros::Step(std::string_view name) const
{
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const std::string_view macro = table_[i].first;
        if (macro.size() == name.size() + 2 && macro.compare(1, name.size(), name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// The passes replace, one pair of percent signs at a time, a macro text by a value. When the
// values hold no percent sign, no pass adds one, so every replacement takes two of the text's own
// percent signs that stand next to each other (none between them) around a macro name. The one
// scan applies when the text's percent signs pair up from the left, each pair around a macro
// name, and the text between two such macros holds a byte no macro name holds: then no other
// pair of the text's percent signs ever encloses a macro name, not before a replacement nor
// after some (such a pair encloses the text between two of the macros whole), so the passes
// replace exactly these macros, each by its value, whatever their order.
bool RecipientMacros::OneScan(std::string_view text, std::string& out) const
{
    if (!oneScan_ || text.size() > kOneScanLength)
        return false;
    struct Found {
        std::size_t at;
        std::size_t length;
        std::string_view value;
    };
    std::array<Found, kOneScanMacros> found;
    std::size_t count = 0;
    std::size_t size = text.size();
    for (std::size_t from = 0;;) {
        const std::size_t open = text.find('%', from);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos || count == found.size())
            return false;
        if (count > 0) {
            const std::string_view between = text.substr(from, open - from);
            if (std::none_of(between.begin(), between.end(),
                             [this](char c) { return !nameBytes_.test(static_cast<unsigned char>(c)); }))
                return false;
        }
        const int step = Step(text.substr(open + 1, close - open - 1));
        if (step < 0)
            return false;
        const std::string_view value = table_[static_cast<std::size_t>(step)].second;
        found[count++] = {open, close + 1 - open, value};
        size = size - (close + 1 - open) + value.size();
        if (size > kOneScanLength)
            return false;
        from = close + 1;
    }
    out.clear();
    out.reserve(size);
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        out.append(text.substr(from, found[i].at - from));
        out.append(found[i].value);
        from = found[i].at + found[i].length;
    }
    out.append(text.substr(from));
    return true;
}

void RecipientMacros::Substitute(std::string_view text, std::string& out) const
{
    if (text.find('%') == std::string_view::npos) {
        out.assign(text);
        return;
    }
    if (text.data() >= out.data() && text.data() <= out.data() + out.size()) {
        const std::string copy(text);
        Substitute(copy, out);
        return;
    }
    if (!OneScan(text, out))
        out = substituteByPasses(text, table_, recipient_);
}

std::string RecipientMacros::Substitute(std::string_view text) const
{
    std::string out;
    Substitute(text, out);
    return out;
}

std::string EscapeMacroValue(std::string_view value, MacroValueForm form)
{
    std::string out;
    if (form == MacroValueForm::Html) {
        out.reserve(value.size() + 8);
        for (const char c : value) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
            }
        }
        return out;
    }
    return PercentEncodeUtf8(value, [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
               c == '_' || c == '~';
    });
}

std::string PercentEncodeUtf8(std::string_view codePageText, bool (*keep)(unsigned char))
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string utf8 = codePageToUtf8(codePageText);
    std::string out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (keep(u)) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string SubstituteMacros(std::string_view text, const MacroRecipient& recipient, const ProjectProperties& project,
                             MacroValueForm form)
{
    if (text.find('%') == std::string_view::npos)
        return std::string(text);
    const MacroTable table = buildTable(recipient, project);
    std::string out;
    out.reserve(text.size() + 64);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t percent = text.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, percent - pos));
        pos = percent;
        bool replaced = false;
        for (const auto& [macro, value] : table) {
            if (text.compare(pos, macro.size(), macro) != 0)
                continue;
            out += EscapeMacroValue(SubstituteMacros(value, recipient, project), form);
            pos += macro.size();
            replaced = true;
            break;
        }
        if (!replaced)
            out += text[pos++];
    }
    return out;
}

} // namespace quillet
