#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "RecordingMidi.h"
#include "TempDir.h"
#include "app/frmMain.h"
#include "midi/MidiOutput.h"

// A main window on a recording MIDI system, loaded from a settings file of the test's choice.
class MainWindowFixture : public ::testing::Test {
protected:
    void TearDown() override { window.reset(); }

    void writeSettings(int channel, int device, int sound) {
        dir.write("rz77.rz", "[device]\r\nid=" + std::to_string(device) +
                                 "\r\n[sound]\r\nid=" + std::to_string(sound) +
                                 "\r\n[channel]\r\nid=" + std::to_string(channel) + "\r\n");
    }

    frmMain& load(ScreenUnits units = {}) {
        window = std::make_unique<frmMain>(AppEnvironment{dir.str(), units}, output);
        return *window;
    }

    // The messages sent since the last call, each as its bytes.
    std::vector<std::vector<int>> takeSent() {
        std::vector<std::vector<int>> all;
        for (uint32_t message : midi.sent) {
            all.push_back(messageBytes(message));
        }
        midi.sent.clear();
        return all;
    }

    TempDir dir;
    RecordingMidi midi;
    RecordingReporter reporter;
    MidiOutput output{midi, reporter};
    std::unique_ptr<frmMain> window;
};
