// Harvesting speed: scans a generated 100 MB HTML/text file (read from the disk, addresses
// listed) and runs GNU grep with the same address pattern over the same file in the same run
// (LC_ALL=C grep -oE '[^ ,:;<=>?]*@[^ ,:;<=>?]*'). Prints MB/s of both and the ratio.
//
// Usage: bench_harvest [size-in-MB] (default 100)
#include "addressbook/AddressScanner.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string makeText(std::size_t bytes)
{
    std::mt19937 random(42);
    const char* words[] = {"the",  "mailing", "list", "<p>", "</p>", "recipient", "group", "href=\"page.html\"",
                           "text", "and",     "of",   "a",   "<td>", "</td>",     "Orv",   "Quillet",
                           "(see", "below)"};
    std::string text;
    text.reserve(bytes + 256);
    std::size_t line = 0;
    while (text.size() < bytes) {
        const int kind = static_cast<int>(random() % 40);
        if (kind == 0)
            text += "<a href=\"mailto:user" + std::to_string(random() % 100000) + "@example.com\">write</a> ";
        else if (kind == 1)
            text += "name.surname" + std::to_string(random() % 1000) + "@mail.example.org, ";
        else
            text += words[random() % (sizeof words / sizeof *words)], text += ' ';
        if (++line % 14 == 0)
            text += "\r\n";
    }
    return text;
}

double secondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const auto path =
        std::filesystem::temp_directory_path() / ("quillet-harvest-bench-" + std::to_string(::getpid()) + ".html");
    {
        const std::string text = makeText(megabytes * 1000 * 1000);
        std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const double size = static_cast<double>(std::filesystem::file_size(path)) / 1e6;

    std::size_t found = 0;
    double ours = 1e9;
    for (int run = 0; run < 3; ++run)
        ours = std::min(ours, secondsOf([&] { found = quillet::scanAddressFile(path.string()).size(); }));

    // grep's output goes through a pipe: with standard output on /dev/null GNU grep stops at the
    // first match, which would measure nothing.
    const std::string grep =
        "LC_ALL=C grep -oE '[^ ,:;<=>?]*@[^ ,:;<=>?]*' '" + path.string() + "' | wc -l > " + path.string() + ".count";
    double theirs = 1e9;
    for (int run = 0; run < 2; ++run)
        theirs = std::min(theirs, secondsOf([&] {
                              if (std::system(grep.c_str()) != 0)
                                  std::fprintf(stderr, "grep failed\n");
                          }));
    std::size_t grepFound = 0;
    std::ifstream(path.string() + ".count") >> grepFound;
    std::filesystem::remove(path.string() + ".count");
    std::filesystem::remove(path);

    std::printf("file: %.1f MB, %zu addresses found (grep: %zu matches)\n", size, found, grepFound);
    std::printf("quillet harvest : %8.3f s  %8.1f MB/s\n", ours, size / ours);
    std::printf("GNU grep -oE    : %8.3f s  %8.1f MB/s\n", theirs, size / theirs);
    std::printf("ratio           : %8.2fx  (target >= 2x)\n", theirs / ours);
    return 0;
}
