#include "StartupSettings.h"

#include <charconv>
#include <iostream>
#include <optional>
#include <system_error>

#include "INIReadWrite.h"

namespace {

std::optional<int> wholeNumber(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// The stored value when it is a whole number within [low, high], otherwise the fallback.
int16_t storedOr(const std::string& section, const std::string& path, int low, int high,
                 int16_t fallback) {
    std::string text;
    try {
        text = INIReadWrite::ReadINI(section, "ID", path);
    } catch (const std::system_error& e) {
        std::cerr << "RZ77: " << e.what() << "; using the default " << section << '\n';
        return fallback;
    }
    const auto value = wholeNumber(text);
    return value && *value >= low && *value <= high ? static_cast<int16_t>(*value) : fallback;
}

}  // namespace

StartupSettings readStartupSettings(const std::string& path, int32_t deviceCount) {
    StartupSettings s;
    // The file counts channels from 1, as the user does.
    s.channel = storedOr("Channel", path, 1, 16, s.kDefaultChannel + 1) - 1;
    s.Device = storedOr("Device", path, -1, deviceCount - 1, s.kDefaultDevice);
    s.Sound = storedOr("Sound", path, 0, 127, s.kDefaultSound);
    return s;
}

std::string settingsPath(const std::string& programDir) {
    return programDir + "/rz77.rz";
}
