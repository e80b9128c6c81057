#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The three MIDI settings the main window starts with, read from the settings file. A missing
// file, section or key, text that is not a whole number, or a value out of range gives the
// default a guitarist expects: the built-in synthesizer, channel 1 and a steel-string guitar.
struct StartupSettings {
    static constexpr int16_t kDefaultChannel = 0;  // shown to the user as channel 1
    static constexpr int16_t kDefaultDevice = -1;  // the built-in synthesizer
    static constexpr int16_t kDefaultSound = 25;   // General MIDI "Acoustic Guitar (steel)"

    int16_t channel = kDefaultChannel;
    int16_t Device = kDefaultDevice;
    int16_t Sound = kDefaultSound;
};

// Reads "Channel", "Device" and "Sound" (key "ID") in this order from the file at path.
// isPort tells whether a MIDI port of that number is there today; a stored port that is not falls
// back to the built-in synthesizer.
StartupSettings readStartupSettings(const std::string& path,
                                    const std::function<bool(int32_t)>& isPort);

constexpr const char* kSettingsFile = "rz77.rz";

// The settings file, for reader and writer alike: in the program's directory when that can be
// written (a build tree, a portable copy), else $XDG_CONFIG_HOME/rz77/rz77.rz (by default
// ~/.config/rz77/rz77.rz), whose folder is created when missing.
std::string settingsPath(const std::string& programDir);

// The practice panel's own settings, in the settings file's folder.
std::string practiceSettingsPath(const std::string& programDir);
