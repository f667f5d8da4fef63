// What the attachment benchmarks send: a file of random bytes and one message carrying it.
#pragma once

#include "transport/MailMessage.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace quillet::bench {

// A file of the given size in megabytes, of random (incompressible) bytes.
inline void MakeFile(const std::filesystem::path& path, std::size_t megabytes)
{
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17); // 1 MB
    for (std::size_t i = 0; i < megabytes; ++i) {
        for (auto& word : block)
            word = random();
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
}

// A short text message with the file attached.
inline void FillAttachmentMessage(TMailMessage& message, const std::filesystem::path& file)
{
    message.ContentType = "text/plain";
    message.Sender = TEMailAddressItem("sender@example.org");
    message.Recipients.SetAddressesText("rcpt@example.org");
    message.Subject = "Large attachment";
    message.Body = {"See the attached file."};
    message.Attachments.emplace_back(file.string());
}

} // namespace quillet::bench
