#include <gtest/gtest.h>

#include "StartupSettings.h"
#include "TempDir.h"

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
    const StartupSettings s = readStartupSettings(settingsPath(dir.str()), 3);
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
