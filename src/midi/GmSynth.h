#pragma once

#include <cstdint>
#include <string>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_audio_driver_t fluid_audio_driver_t;

// A General MIDI synthesizer (FluidSynth with the system's GM sound font) that takes packed
// short messages. It renders offline on request or, once started, plays through the desktop's
// sound server.
class GmSynth {
public:
    GmSynth();
    ~GmSynth();
    GmSynth(const GmSynth&) = delete;
    GmSynth& operator=(const GmSynth&) = delete;

    // Path of the General MIDI sound font the synthesizer loads; empty when none is installed.
    static std::string soundFontPath();

    // Creates the synthesizer and loads the sound font. On failure returns false and sets error.
    bool load(std::string& error);
    // Starts the audio output (PulseAudio, then ALSA). On failure returns false and sets error.
    bool startAudio(std::string& error);

    // Applies one short message; returns false with error set when the synthesizer refused it.
    bool handleShortMessage(uint32_t message, std::string& error);
    // Renders frames of interleaved-free stereo into two buffers (no sound server needed).
    void render(float* left, float* right, int frames);
    double sampleRate() const;

private:
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    fluid_audio_driver_t* m_driver = nullptr;
};
