#include "app/AboutText.h"

#include <filesystem>
#include <system_error>

namespace {

// Debian installs the font behind an alternatives link; its licence goes with the real file.
std::string soundFontLine(const std::string& path) {
    if (path.empty()) {
        return "Sound font: none installed; the built-in synthesizer cannot play.";
    }
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(path, error);
    const std::string shown = error ? path : file.string();
    if (!error && file.filename() == "TimGM6mb.sf2") {
        return "Sound font: " + shown +
               "\nTimGM6mb by Tim Brechbill, under the GNU General Public License version 2 "
               "(/usr/share/doc/timgm6mb-soundfont/copyright).";
    }
    return "Sound font: " + shown +
           "\nIts licence is in the copyright file of the package that installed it.";
}

}  // namespace

std::string aboutText(const AboutDetails& details) {
    const std::string device = details.midiDevice.empty() ? "none" : details.midiDevice;
    return "RZ77 " + details.version +
           "\nA practice tool for guitarists: reference notes, a note loop, a metronome and MP3 "
           "backing tracks.\n\n" +
           soundFontLine(details.soundFontPath) + "\n\nMIDI device open now: " + device;
}
