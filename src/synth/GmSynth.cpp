#include "synth/GmSynth.h"

#include <fluidsynth.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "common/LibraryLog.h"
#include "synth/ClickSoundFont.h"

namespace {

constexpr const char* kDebianGmFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr double kGain = 0.5;  // FluidSynth's 0.2 is too quiet to tune by ear
// A sound font's samples are read only for the presets that a channel selects: a large GM font
// (Debian's larger one is 141 MB) would otherwise be read whole into memory, and locked there, at
// start. Each MIDI channel has a keeper channel above the sixteen, on which the sending thread
// selects a program before the audio thread does, so that the samples are read from disk on the
// sender and the audio thread's program change finds them loaded.
constexpr int kMidiChannels = 16;
constexpr int kDrumChannel = 9;

// FluidSynth reports failures only through its log; keep the last error so that it can be shown.
std::mutex g_logMutex;
std::string g_lastLogError;

void captureLog(int, const char* message, void*) {
    {
        std::lock_guard lock(g_logMutex);
        g_lastLogError = message;
    }
    logLibraryMessage("FluidSynth", message);
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

// FluidSynth reads sound fonts through file callbacks; these serve the click font from memory
// and every other font from disk.
struct FontFile {
    const std::string* memory = nullptr;
    fluid_long_long_t position = 0;
    std::FILE* disk = nullptr;
};

void* openFont(const char* filename) {
    if (std::strcmp(filename, ClickSoundFont::kName) == 0) {
        return new FontFile{&ClickSoundFont::bytes()};
    }
    std::FILE* disk = std::fopen(filename, "rb");
    return disk == nullptr ? nullptr : new FontFile{nullptr, 0, disk};
}

int readFont(void* buffer, fluid_long_long_t count, void* handle) {
    auto* file = static_cast<FontFile*>(handle);
    if (file->disk != nullptr) {
        const auto size = static_cast<size_t>(count);
        return std::fread(buffer, 1, size, file->disk) == size ? FLUID_OK : FLUID_FAILED;
    }
    const auto size = static_cast<fluid_long_long_t>(file->memory->size());
    if (count < 0 || file->position + count > size) {
        return FLUID_FAILED;
    }
    std::memcpy(buffer, file->memory->data() + file->position, static_cast<size_t>(count));
    file->position += count;
    return FLUID_OK;
}

int seekFont(void* handle, fluid_long_long_t offset, int origin) {
    auto* file = static_cast<FontFile*>(handle);
    if (file->disk != nullptr) {
        return std::fseek(file->disk, static_cast<long>(offset), origin) == 0 ? FLUID_OK
                                                                              : FLUID_FAILED;
    }
    const auto size = static_cast<fluid_long_long_t>(file->memory->size());
    const fluid_long_long_t base = origin == SEEK_SET   ? 0
                                   : origin == SEEK_CUR ? file->position
                                                        : size;
    if (base + offset < 0 || base + offset > size) {
        return FLUID_FAILED;
    }
    file->position = base + offset;
    return FLUID_OK;
}

fluid_long_long_t tellFont(void* handle) {
    auto* file = static_cast<FontFile*>(handle);
    return file->disk != nullptr ? std::ftell(file->disk) : file->position;
}

int closeFont(void* handle) {
    auto* file = static_cast<FontFile*>(handle);
    if (file->disk != nullptr) {
        std::fclose(file->disk);
    }
    delete file;
    return FLUID_OK;
}

}  // namespace

GmSynth::GmSynth() {
    installLogCapture();
    m_settings = new_fluid_settings();
}

GmSynth::~GmSynth() {
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
    fluid_settings_setnum(m_settings, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(m_settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(m_settings, "synth.midi-channels", 2 * kMidiChannels);
    m_synth = new_fluid_synth(m_settings);
    if (m_synth == nullptr) {
        error = takeLogError("FluidSynth could not create a synthesizer.");
        return false;
    }
    fluid_synth_set_channel_type(m_synth, kMidiChannels + kDrumChannel, CHANNEL_TYPE_DRUM);
    addClickLoader();
    if (fluid_synth_sfload(m_synth, font.c_str(), 1) == FLUID_FAILED) {
        error = takeLogError("FluidSynth could not load the sound font " + font + ".");
        return false;
    }
    if (!loadClick(error)) {
        return false;
    }
    leaveChannelsUnselected();
    return true;
}

// Loading a font selects the piano on every channel and the drum kit on the drum channels, which
// reads their samples: 12 MB of a large font's, for channels that may never sound. Channels
// start with no program instead; the first note on a channel that was never given one selects
// the General MIDI default then, as the font's loading would have.
void GmSynth::leaveChannelsUnselected() {
    for (int channel = 0; channel < 2 * kMidiChannels; ++channel) {
        fluid_synth_unset_program(m_synth, channel);
    }
    m_keeperSelected.fill(false);
    m_channelSelected.fill(false);
}

// FluidSynth takes loaders only before the first sound font; this one is asked first.
void GmSynth::addClickLoader() {
    fluid_sfloader_t* loader = new_fluid_defsfloader(m_settings);
    fluid_sfloader_set_callbacks(loader, openFont, readFont, seekFont, tellFont, closeFont);
    fluid_synth_add_sfloader(m_synth, loader);
}

// Loaded last, so that it stands above the GM font: its program 127 replaces the GM one, whose
// samples stop below the metronome's key 127 and so stay silent.
bool GmSynth::loadClick(std::string& error) {
    if (fluid_synth_sfload(m_synth, ClickSoundFont::kName, 1) == FLUID_FAILED) {
        error = takeLogError("FluidSynth could not load the metronome click.");
        return false;
    }
    return true;
}

bool GmSynth::dispatch(uint32_t message) {
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
    return result != FLUID_FAILED || (status & 0xF0) == 0x80;
}

void GmSynth::prepare(uint32_t message) {
    const int status = message & 0xF0;
    const int channel = message & 0x0F;
    const int keeper = kMidiChannels + channel;
    const int data1 = (message >> 8) & 0x7F;
    if (status == 0xB0 && (data1 == 0 || data1 == 32)) {  // bank select
        fluid_synth_cc(m_synth, keeper, data1, (message >> 16) & 0x7F);
    } else if (status == 0xC0) {
        fluid_synth_program_change(m_synth, keeper, data1);
        m_keeperSelected[channel] = true;
    } else if (status == 0x90 && !m_keeperSelected[channel]) {
        fluid_synth_program_change(m_synth, keeper, 0);
        m_keeperSelected[channel] = true;
    }
}

void GmSynth::apply(uint32_t message) {
    const int status = message & 0xF0;
    const int channel = message & 0x0F;
    if (status == 0xC0) {
        m_channelSelected[channel] = true;
    } else if (status == 0x90 && !m_channelSelected[channel]) {
        fluid_synth_program_change(m_synth, channel, 0);  // read ahead by prepare()
        m_channelSelected[channel] = true;
    }
    if (!dispatch(message)) {
        m_refused.fetch_add(1, std::memory_order_relaxed);
    }
}

void GmSynth::render(float* left, float* right, int frames) {
    fluid_synth_write_float(m_synth, frames, left, 0, 1, right, 0, 1);
}

bool GmSynth::isSounding() const {
    return fluid_synth_get_active_voice_count(m_synth) > 0;
}
