#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "TempDir.h"
#include "settings/InstrumentList.h"
#include "settings/StartupSettings.h"

namespace {

struct SettingsCase {
    const char* name;
    std::string file;  // empty: no settings file at all
    int16_t channel, device, sound;
    friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
};

class StartupSettingsCases : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(StartupSettingsCases, ReadOrFallBack) {
    const SettingsCase& c = GetParam();
    TempDir dir;
    if (!c.file.empty()) {
        dir.write("rz77.rz", c.file);
    }
    const StartupSettings s =
        readStartupSettings(settingsPath(dir.str()), [](int32_t port) { return port < 3; });
    EXPECT_EQ(s.channel, c.channel);
    EXPECT_EQ(s.Device, c.device);
    EXPECT_EQ(s.Sound, c.sound);
}

std::string file(const std::string& channel, const std::string& device, const std::string& sound) {
    return "[device]\r\nid=" + device + "\r\n[sound]\r\nid=" + sound +
           "\r\n[channel]\r\nid=" + channel + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartupSettingsCases,
    ::testing::Values(SettingsCase{"AsWritten", file("1", "-1", "0"), 0, -1, 0},
                      SettingsCase{"LastChannelAndPort", file("16", "2", "127"), 15, 2, 127},
                      SettingsCase{"NoFile", "", 0, -1, 25},
                      SettingsCase{"MissingSections", "[device]\r\nid=1\r\n", 0, 1, 25},
                      SettingsCase{"ChannelZeroWrittenWithoutSelection", file("0", "0", "5"), 0, 0,
                                   5},
                      SettingsCase{"ChannelTooHigh", file("17", "0", "5"), 0, 0, 5},
                      SettingsCase{"PortNoLongerPresent", file("3", "3", "5"), 2, -1, 5},
                      SettingsCase{"DeviceBelowMapper", file("3", "-2", "5"), 2, -1, 5},
                      SettingsCase{"NoSoundSelected", file("3", "0", "-1"), 2, 0, 25},
                      SettingsCase{"SoundBeyondGeneralMidi", file("3", "0", "128"), 2, 0, 25},
                      SettingsCase{"NotNumbers", file("x", "1.5", "5a"), 0, -1, 25},
                      SettingsCase{"Empty", file("", "", ""), 0, -1, 25},
                      SettingsCase{"Overflow", file("99999999999", "0", "5"), 0, 0, 5}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Sets an environment variable for the life of the object, or unsets it for nullptr.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(SettingsPath, ProgramDirectoryUnlessInstalledOrUnwritable) {
    TempDir root;
    const auto prefix = root.path() / "usr";
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::create_directories(prefix / "share");
    const std::string config = (root.path() / "config").string();
    const std::string home = (root.path() / "home").string();
    struct Case {
        const char* name;
        std::string programDir;
        const char* xdgConfigHome;
        std::string expected;
    };
    const Case cases[] = {
        {"build tree", root.str(), config.c_str(), root.str() + "/rz77.rz"},
        {"installed", (prefix / "bin").string(), config.c_str(), config + "/rz77/rz77.rz"},
        {"missing directory", root.str() + "/gone", config.c_str(), config + "/rz77/rz77.rz"},
        {"no XDG_CONFIG_HOME", (prefix / "bin").string(), nullptr, home + "/.config/rz77/rz77.rz"},
        {"relative XDG_CONFIG_HOME", (prefix / "bin").string(), "cfg",
         home + "/.config/rz77/rz77.rz"},
    };
    const ScopedEnv homeEnv("HOME", home.c_str());
    for (const Case& c : cases) {
        const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdgConfigHome);
        const std::string path = settingsPath(c.programDir);
        EXPECT_EQ(path, c.expected) << c.name;
        // The writer can create the file there.
        EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path).parent_path()))
            << c.name;
    }
}

TEST(InstrumentListPath, BesideTheProgramThenInTheSharedData) {
    TempDir root;
    const auto bin = root.path() / "bin";
    const auto shared = root.path() / "share" / "rz77";
    std::filesystem::create_directories(bin);
    EXPECT_EQ(InstrumentList::path(bin.string()), "");
    std::filesystem::create_directories(shared);
    std::ofstream(shared / "genmidi.rz") << "Acoustic Grand Piano\r\n";
    EXPECT_EQ(InstrumentList::path(bin.string()), (shared / "genmidi.rz").string());
    std::ofstream(bin / "genmidi.rz") << "Acoustic Grand Piano\r\n";
    EXPECT_EQ(InstrumentList::path(bin.string()), (bin / "genmidi.rz").string());
}

}  // namespace
