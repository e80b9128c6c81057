#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "app/AboutText.h"

namespace {

TEST(AboutText, NamesVersionFontLicenceAndDevice) {
    TempDir dir;
    const std::string font = dir.write("TimGM6mb.sf2", "RIFF");
    const std::string other = dir.write("Other.sf2", "RIFF");
    const auto link = dir.path() / "default-GM.sf2";
    std::filesystem::create_symlink(font, link);
    struct Case {
        std::string fontPath, device;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {link.string(),
         "rz77-receiver",
         {"RZ77 1.2", font, "GNU General Public License version 2",
          "MIDI device open now: rz77-receiver"}},
        {other, "", {other, "copyright file of the package", "MIDI device open now: none"}},
        {"", "Synth", {"Sound font: none installed"}},
    };
    for (const Case& c : cases) {
        const std::string text = aboutText({"1.2", c.fontPath, c.device});
        for (const std::string& part : c.expected) {
            EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
        }
    }
}

}  // namespace
