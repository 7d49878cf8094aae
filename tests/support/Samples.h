#pragma once
// The sample programs beside the project. Without them a test skips, unless
// CORVEXLINK_REQUIRE_SAMPLES is set (as CI sets it): then it fails, so a run
// that silently tested nothing cannot pass.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace cvl::test {

inline bool samplesRequired() {
    const char* v = std::getenv("CORVEXLINK_REQUIRE_SAMPLES");
    return v != nullptr && *v != '\0' && std::string(v) != "0";
}

}  // namespace cvl::test

// Use at the top of a test (or SetUp) that reads path.
#define CVL_NEED_SAMPLES(path)                                                           \
    do {                                                                                 \
        if (!std::filesystem::exists(path)) {                                            \
            if (::cvl::test::samplesRequired()) FAIL() << "samples missing: " << (path); \
            GTEST_SKIP() << "sample programs not present";                               \
        }                                                                                \
    } while (false)
