#include "common/LibraryLog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<bool> g_verbose{std::getenv("RZ77_VERBOSE") != nullptr};
}  // namespace

void setLibraryLogVerbose(bool verbose) {
    g_verbose = verbose;
}

void logLibraryMessage(const char* library, const char* text) {
    if (g_verbose) {
        std::fprintf(stderr, "RZ77 (%s): %s\n", library, text);
    }
}
