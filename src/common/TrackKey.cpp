#include "common/TrackKey.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr std::streamoff kEndBytes = 1 << 20;

// FNV-1a, 64 bits: no library, and the same key on every platform.
uint64_t hashBytes(const std::vector<char>& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<std::vector<char>> readAt(std::ifstream& file, std::streamoff at,
                                        std::streamoff count) {
    std::vector<char> bytes(static_cast<size_t>(count));
    file.seekg(at);
    if (!file.read(bytes.data(), count))
        return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::string> trackKey(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return std::nullopt;
    const std::streamoff length = file.tellg();
    if (length < 0)
        return std::nullopt;
    const std::streamoff part = std::min(length, kEndBytes);
    const auto first = readAt(file, 0, part);
    const auto last = readAt(file, length - part, part);
    if (!first || !last)
        return std::nullopt;
    char key[64];
    std::snprintf(key, sizeof key, "%llx-%016llx%016llx", static_cast<unsigned long long>(length),
                  static_cast<unsigned long long>(hashBytes(*first)),
                  static_cast<unsigned long long>(hashBytes(*last)));
    return std::string(key);
}
