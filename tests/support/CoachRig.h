#pragma once
// The timing coach as the metronome page holds it, beside a metronome, on the built-in
// synthesizer with the metronome's click selected: for the coach's sound test and its
// calibration bench.

#include <QSettings>
#include <QWidget>
#include <string>

#include "app/frmMain.h"
#include "audio/AudioEngine.h"
#include "common/ClickProgram.h"
#include "metronome/Metronome.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/CoachPart.h"

struct CoachRig {
    CoachRig(const std::string& dir, MessageReporter& reporter)
        : output(system, reporter),
          window(AppEnvironment{dir, {}}, output),
          metronome(new Metronome(window, window.voice, output)),
          settings(QString::fromStdString(dir + "/practice.conf"), QSettings::IniFormat),
          track(engine, reporter),
          coach(page, *metronome, track, output, settings, window.environment().units, keys) {
        page.resize(300, 310);
    }

    // False without a synthesizer to play on.
    bool openSynthesizer() {
        if (!MIDI_OUT::OpenMidiOut(output, MidiMapperId)) {
            return false;
        }
        MIDI_CMD::ControlChange(output, kClickChannel, 0, 0);
        MIDI_CMD::ProgramChange(output, kClickChannel, 0, kClickProgram);
        return true;
    }

    SystemMidi system;
    MidiOutput output;
    frmMain window;
    Metronome* metronome;  // the window's
    QWidget page;
    QSettings settings;
    PanelControls::PageKeys keys;
    AudioEngine engine{[](const AudioSink::FormatChooser&, std::string& error) {
        error = "no track here";
        return std::unique_ptr<AudioSink>();
    }};
    TrackPlaybackControl track;
    CoachPart coach;
};
