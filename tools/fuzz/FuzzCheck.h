#pragma once

// What a fuzz target does when an input breaks a promise of the code under
// test: say which promise and abort, so that libFuzzer keeps the input as a
// crash artifact and the run fails.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

// A printable rendering of text that may hold any byte.
inline std::string escaped(std::string_view bytes, std::size_t limit = 200)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (bytes.size() > limit)
        out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

[[noreturn]] inline void fail(const char* promise, const std::string& detail)
{
    std::fprintf(stderr, "\nBROKEN PROMISE: %s\n  %s\n", promise, detail.c_str());
    std::abort();
}

inline void require(bool holds, const char* promise, const std::string& detail = std::string())
{
    if (!holds)
        fail(promise, detail);
}

}  // namespace fuzzcheck
