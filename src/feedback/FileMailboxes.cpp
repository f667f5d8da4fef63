// The mailboxes kept in files: Maildir folders and mbox files.
#include "FeedbackLimits.h"
#include "FeedbackTexts.h"
#include "Mailbox.h"

#include "transport/MessageTexts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace quillet {

namespace {

std::string readStart(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw EMailboxError(FormatText(kMailboxUnreadable, path.string(), std::strerror(errno)));
    std::string bytes(kMaxFeedbackMessageBytes, '\0');
    file.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(std::size_t(file.gcount()));
    return bytes;
}

class MaildirMailbox : public Mailbox {
public:
    explicit MaildirMailbox(std::filesystem::path folder) : folder_(std::move(folder))
    {
        if (!std::filesystem::is_directory(folder_ / "cur") && !std::filesystem::is_directory(folder_ / "new"))
            throw EMailboxError(FormatText(kMailboxUnreadable, folder_.string(), "It is not a Maildir folder."));
    }

    // Ids are "new/NAME" and "cur/NAME", sorted, so a scan reads in a stable order.
    std::vector<std::string> List() override
    {
        std::vector<std::string> ids;
        for (const char* sub : {"new", "cur"}) {
            std::error_code error;
            for (std::filesystem::directory_iterator it(folder_ / sub, error), end; !error && it != end;
                 it.increment(error))
                if (it->is_regular_file(error) && it->path().filename().string().front() != '.')
                    ids.push_back(std::string(sub) + "/" + it->path().filename().string());
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    std::string Fetch(const std::string& id) override { return readStart(folder_ / id); }

    void MarkRead(const std::string&) override {}

    // Into the Maildir++ sub-folder ".FOLDER" of this Maildir (made when missing), under cur/.
    void MoveTo(const std::string& id, const std::string& folder) override
    {
        const std::filesystem::path target = folder_ / ("." + folder);
        for (const char* sub : {"cur", "new", "tmp"})
            std::filesystem::create_directories(target / sub);
        const std::filesystem::path from = folder_ / id;
        std::error_code error;
        std::filesystem::rename(from, target / "cur" / from.filename(), error);
        if (error)
            throw EMailboxError(FormatText(kMailboxUnreadable, from.string(), error.message()));
    }

private:
    std::filesystem::path folder_;
};

class MboxMailbox : public Mailbox {
public:
    explicit MboxMailbox(const std::filesystem::path& file) : path_(file)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            throw EMailboxError(FormatText(kMailboxUnreadable, file.string(), std::strerror(errno)));
        text_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        messages_ = SplitMbox(text_);
    }

    // Ids are the message's number in the file, from 1.
    std::vector<std::string> List() override
    {
        std::vector<std::string> ids;
        for (std::size_t i = 0; i < messages_.size(); ++i)
            ids.push_back(std::to_string(i + 1));
        return ids;
    }

    std::string Fetch(const std::string& id) override
    {
        const std::size_t n = std::stoul(id) - 1;
        const auto [begin, end] = messages_.at(n);
        return UnquoteMboxMessage(
            std::string_view(text_).substr(begin, std::min(end - begin, kMaxFeedbackMessageBytes)));
    }

    void MarkRead(const std::string&) override {}
    void MoveTo(const std::string&, const std::string&) override
    {
        throw EMailboxError(std::string(kMoveToNeedsFolderMailbox));
    }

private:
    std::filesystem::path path_;
    std::string text_;
    std::vector<std::pair<std::size_t, std::size_t>> messages_;
};

} // namespace

std::vector<std::pair<std::size_t, std::size_t>> SplitMbox(std::string_view text)
{
    std::vector<std::pair<std::size_t, std::size_t>> messages;
    std::size_t start = std::string_view::npos; // of the current message's text
    std::size_t pos = 0;
    bool afterEmpty = true;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(pos, end - pos);
        if (afterEmpty && line.rfind("From ", 0) == 0) {
            if (start != std::string_view::npos)
                messages.emplace_back(start, pos);
            start = end;
        }
        afterEmpty = line == "\n" || line == "\r\n";
        pos = end;
    }
    if (start != std::string_view::npos)
        messages.emplace_back(start, text.size());
    return messages;
}

std::string UnquoteMboxMessage(std::string_view message)
{
    std::string text;
    text.reserve(message.size());
    std::size_t pos = 0;
    while (pos < message.size()) {
        std::size_t end = message.find('\n', pos);
        end = end == std::string_view::npos ? message.size() : end + 1;
        std::string_view line = message.substr(pos, end - pos);
        const std::size_t quotes = line.find_first_not_of('>');
        if (quotes != 0 && quotes != std::string_view::npos && line.substr(quotes).rfind("From ", 0) == 0)
            line.remove_prefix(1);
        text += line;
        pos = end;
    }
    return text;
}

std::unique_ptr<Mailbox> OpenMaildir(const std::filesystem::path& folder)
{
    return std::make_unique<MaildirMailbox>(folder);
}

std::unique_ptr<Mailbox> OpenMbox(const std::filesystem::path& file)
{
    return std::make_unique<MboxMailbox>(file);
}

} // namespace quillet
