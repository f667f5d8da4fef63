// The personalised message body of the throughput benchmarks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quillet::bench {

// A body of about 1 KB, personalised with the recipient's number.
inline std::vector<std::string> PersonalBody(int n)
{
    std::vector<std::string> body;
    body.push_back("Dear Recipient " + std::to_string(n) + ",");
    body.push_back("");
    std::size_t size = 0;
    while (size < 1024 - 80) {
        body.push_back("This line of the newsletter is the same for everyone, the greeting above is not.");
        size += body.back().size() + 2;
    }
    body.push_back("Your number is " + std::to_string(n) + ".");
    return body;
}

} // namespace quillet::bench
