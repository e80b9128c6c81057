#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "synth/SynthEngine.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

// A General MIDI synthesizer (FluidSynth with the system's GM sound font, and the program's own
// metronome click as program 127) that takes packed short messages and renders on request.
class GmSynth : public SynthEngine {
public:
    // 64 frames per millisecond: every event on a whole-millisecond grid lands on a block
    // boundary of the engine, so the metronome's clicks are placed to the sample.
    static constexpr double kSampleRate = 64000.0;

    GmSynth();
    ~GmSynth() override;
    GmSynth(const GmSynth&) = delete;
    GmSynth& operator=(const GmSynth&) = delete;

    // Path of the General MIDI sound font the synthesizer loads; empty when none is installed.
    static std::string soundFontPath();

    // Creates the synthesizer and loads the sound fonts. On failure returns false and sets error.
    bool load(std::string& error);

    // The sending thread, before the message is posted to the render thread: reads the samples
    // of a program the message selects, so that the render thread never waits for the disk.
    void prepare(uint32_t message);
    // The render thread: refusals are only counted there.
    void apply(uint32_t message) override;
    // How many messages apply() was refused since the last call.
    uint32_t takeRefusedCount() { return m_refused.exchange(0); }
    // Renders frames of stereo into two buffers.
    void render(float* left, float* right, int frames) override;
    bool isSounding() const override;

private:
    void leaveChannelsUnselected();
    void addClickLoader();
    bool loadClick(std::string& error);
    // FluidSynth's result for the message; a refused note-off is no failure.
    bool dispatch(uint32_t message);

    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    std::atomic<uint32_t> m_refused{0};
    // Channels start with no program (see leaveChannelsUnselected); these say which have one.
    std::array<bool, 16> m_keeperSelected{};   // the sending thread's
    std::array<bool, 16> m_channelSelected{};  // the render thread's
};
