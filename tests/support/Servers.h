#pragma once

#include <cstdlib>
#include <string>

// The test script starts a PulseAudio null sink, a JACK dummy server and Xvfb and sets
// RZ77_SERVERS=1; there a missing server is a failure. Run by hand without them, the tests
// that need one are skipped.
inline bool serversRequired() {
    return std::getenv("RZ77_SERVERS") != nullptr;
}

inline bool commandSucceeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

#define RZ77_REQUIRE_SERVER(available, what)           \
    do {                                               \
        if (!(available)) {                            \
            if (serversRequired()) {                   \
                FAIL() << what << " is not running";   \
            }                                          \
            GTEST_SKIP() << what << " is not running"; \
        }                                              \
    } while (0)
