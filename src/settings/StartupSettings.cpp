#include "settings/StartupSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "settings/INIReadWrite.h"

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

namespace fs = std::filesystem;

bool isWritableDirectory(const fs::path& dir) {
    std::error_code error;
    return fs::is_directory(dir, error) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// An installed program lives in <prefix>/bin beside <prefix>/share. That directory belongs to the
// system even where the user may write it, as root may.
bool isInstalled(const fs::path& dir) {
    std::error_code error;
    return dir.filename() == "bin" && fs::is_directory(dir.parent_path() / "share", error);
}

std::optional<fs::path> configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && fs::path(xdg).is_absolute()) {
        return fs::path(xdg);
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return fs::path(home) / ".config";
    }
    if (const passwd* user = ::getpwuid(::getuid())) {
        return fs::path(user->pw_dir) / ".config";
    }
    return std::nullopt;
}

}  // namespace

StartupSettings readStartupSettings(const std::string& path,
                                    const std::function<bool(int32_t)>& isPort) {
    StartupSettings s;
    // The file counts channels from 1, as the user does.
    s.channel = storedOr("Channel", path, 1, 16, s.kDefaultChannel + 1) - 1;
    s.Device = storedOr("Device", path, -1, INT16_MAX, s.kDefaultDevice);
    if (s.Device != s.kDefaultDevice && !isPort(s.Device)) {
        s.Device = s.kDefaultDevice;
    }
    s.Sound = storedOr("Sound", path, 0, 127, s.kDefaultSound);
    return s;
}

std::string settingsPath(const std::string& programDir) {
    const fs::path dir(programDir);
    const auto config = configHome();
    if ((isWritableDirectory(dir) && !isInstalled(dir)) || !config) {
        return (dir / kSettingsFile).string();
    }
    const fs::path folder = *config / "rz77";
    std::error_code error;
    fs::create_directories(folder, error);  // a failure shows when the file is written
    return (folder / kSettingsFile).string();
}

std::string practiceSettingsPath(const std::string& programDir) {
    return (fs::path(settingsPath(programDir)).parent_path() / "practice.conf").string();
}
