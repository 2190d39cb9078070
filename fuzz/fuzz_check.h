#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A fuzz target stops on the first input whose result differs from what the rules give;
// libFuzzer then keeps that input as a crash artifact.
namespace arbora::fuzz {

[[noreturn]] inline void mismatch(const char* check, const std::string& detail) {
    std::fprintf(stderr, "mismatch: %s\n  %s\n", check, detail.c_str());
    std::abort();
}

}  // namespace arbora::fuzz

// detail is built only when the check fails.
#define FUZZ_CHECK(condition, detail)                                   \
    do {                                                                \
        if (!(condition)) ::arbora::fuzz::mismatch(#condition, detail); \
    } while (0)
