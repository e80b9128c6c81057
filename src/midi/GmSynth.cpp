#include "GmSynth.h"

#include <fluidsynth.h>

#include <filesystem>
#include <mutex>

namespace {

constexpr const char* kDebianGmFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr double kGain = 0.5;  // FluidSynth's 0.2 is too quiet to tune by ear

// FluidSynth reports failures only through its log; keep the last error so that it can be shown.
std::mutex g_logMutex;
std::string g_lastLogError;

void captureLog(int level, const char* message, void*) {
    {
        std::lock_guard lock(g_logMutex);
        g_lastLogError = message;
    }
    fluid_default_log_function(level, message, nullptr);
}

void installLogCapture() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, captureLog, nullptr);
        fluid_set_log_function(FLUID_ERR, captureLog, nullptr);
    });
}

std::string takeLogError(const std::string& fallback) {
    std::lock_guard lock(g_logMutex);
    std::string text = g_lastLogError.empty() ? fallback : g_lastLogError;
    g_lastLogError.clear();
    return text;
}

std::string settingString(fluid_settings_t* settings, const char* name) {
    char* value = nullptr;
    if (fluid_settings_dupstr(settings, name, &value) != FLUID_OK || value == nullptr) {
        return {};
    }
    std::string result(value);
    fluid_free(value);
    return result;
}

bool isFile(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

GmSynth::GmSynth() {
    installLogCapture();
    m_settings = new_fluid_settings();
}

GmSynth::~GmSynth() {
    if (m_driver != nullptr) {
        delete_fluid_audio_driver(m_driver);
    }
    if (m_synth != nullptr) {
        delete_fluid_synth(m_synth);
    }
    delete_fluid_settings(m_settings);
}

std::string GmSynth::soundFontPath() {
    fluid_settings_t* settings = new_fluid_settings();
    std::string path = settingString(settings, "synth.default-soundfont");
    delete_fluid_settings(settings);
    if (isFile(path)) {
        return path;
    }
    return isFile(kDebianGmFont) ? kDebianGmFont : std::string();
}

bool GmSynth::load(std::string& error) {
    const std::string font = soundFontPath();
    if (font.empty()) {
        error = "No General MIDI sound font is installed (looked for " +
                std::string(kDebianGmFont) + ").";
        return false;
    }
    fluid_settings_setnum(m_settings, "synth.gain", kGain);
    m_synth = new_fluid_synth(m_settings);
    if (m_synth == nullptr) {
        error = takeLogError("FluidSynth could not create a synthesizer.");
        return false;
    }
    if (fluid_synth_sfload(m_synth, font.c_str(), 1) == FLUID_FAILED) {
        error = takeLogError("FluidSynth could not load the sound font " + font + ".");
        return false;
    }
    return true;
}

bool GmSynth::startAudio(std::string& error) {
    // The jack driver is never tried: it would start a JACK server of its own.
    std::string failures;
    for (const char* driver : {"pulseaudio", "alsa"}) {
        fluid_settings_setstr(m_settings, "audio.driver", driver);
        m_driver = new_fluid_audio_driver(m_settings, m_synth);
        if (m_driver != nullptr) {
            takeLogError({});
            return true;
        }
        failures += std::string(failures.empty() ? "" : "\n") + driver + ": " +
                    takeLogError("no audio output");
    }
    error = "The built-in synthesizer found no sound output.\n" + failures;
    return false;
}

bool GmSynth::handleShortMessage(uint32_t message, std::string& error) {
    const int status = message & 0xFF;
    const int channel = status & 0x0F;
    const int data1 = (message >> 8) & 0x7F;
    const int data2 = (message >> 16) & 0x7F;
    int result = FLUID_OK;
    switch (status & 0xF0) {
        case 0x80:
            result = fluid_synth_noteoff(m_synth, channel, data1);
            break;
        case 0x90:
            result = fluid_synth_noteon(m_synth, channel, data1, data2);
            break;
        case 0xB0:
            result = fluid_synth_cc(m_synth, channel, data1, data2);
            break;
        case 0xC0:
            result = fluid_synth_program_change(m_synth, channel, data1);
            break;
        case 0xE0:
            result = fluid_synth_pitch_bend(m_synth, channel, data1 | (data2 << 7));
            break;
        default:
            break;  // other messages have no use for a reference tone
    }
    if (result == FLUID_FAILED && (status & 0xF0) != 0x80) {
        error = takeLogError("FluidSynth refused the MIDI message.");
        return false;
    }
    return true;
}

void GmSynth::render(float* left, float* right, int frames) {
    fluid_synth_write_float(m_synth, frames, left, 0, 1, right, 0, 1);
}

double GmSynth::sampleRate() const {
    double rate = 44100.0;
    fluid_settings_getnum(m_settings, "synth.sample-rate", &rate);
    return rate;
}
