#include "synth/ClickSoundFont.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace ClickSoundFont {
namespace {

constexpr int kSampleRate = 48000;
constexpr double kLengthSeconds = 0.025;
constexpr double kDecaySeconds = 0.004;
constexpr int kPaddingPoints = 46;  // silent points a sound font requires after each sample

// Generator and modulator numbers of the SoundFont 2 format.
enum Generator : uint16_t {
    ChorusSend = 15,
    ReverbSend = 16,
    Pan = 17,
    Instrument = 41,
    KeyRange = 43,
    SampleId = 53,
    SampleModes = 54,
    ScaleTuning = 56,
    InitialAttenuation = 48,
};
constexpr uint16_t kControllerSource = 0x80;
constexpr uint16_t kConcaveNegative = 0x0500;  // how the default volume modulators map
constexpr uint16_t kVolumeController = 7;
constexpr uint16_t kExpressionController = 11;
constexpr uint16_t kReverbDepthController = 91;
constexpr uint16_t kChorusDepthController = 93;
constexpr uint16_t kHardLeft = static_cast<uint16_t>(-500);
constexpr uint16_t kHardRight = 500;

class Writer {
public:
    void u8(uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) {
        u8(v & 0xFF);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void tag(const char* fourCc) { m_out.append(fourCc, 4); }
    // A fixed-width, zero-filled name field.
    void name(const std::string& text, size_t width) {
        std::string field = text.substr(0, width - 1);
        field.resize(width, '\0');
        m_out += field;
    }
    void raw(const std::string& bytes) { m_out += bytes; }
    std::string take() { return std::move(m_out); }

private:
    std::string m_out;
};

std::string chunk(const char* fourCc, const std::string& body) {
    Writer w;
    w.tag(fourCc);
    w.u32(static_cast<uint32_t>(body.size()));
    w.raw(body);
    if (body.size() % 2 != 0) {
        w.u8(0);
    }
    return w.take();
}

std::string list(const char* type, const std::string& chunks) {
    return chunk("LIST", std::string(type, 4) + chunks);
}

// Two inharmonic partials under a fast exponential decay: a woodblock-like tick that cuts
// through a guitar without sounding like a note. The accent is the same kind of tick, higher.
struct Tick {
    double low, high;  // Hz
};
constexpr Tick kClick{2000, 3300};
constexpr Tick kAccent{3000, 4950};

std::vector<int16_t> tickSamples(Tick tick) {
    const int count = static_cast<int>(kSampleRate * kLengthSeconds);
    const int fadeCount = kSampleRate / 500;  // the last 2 ms taper to silence
    std::vector<int16_t> samples(count);
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double tone = 0.6 * std::sin(2 * std::numbers::pi * tick.low * t) +
                            0.4 * std::sin(2 * std::numbers::pi * tick.high * t);
        const double fade = std::min(1.0, static_cast<double>(count - 1 - i) / fadeCount);
        samples[i] =
            static_cast<int16_t>(std::lround(32000 * std::exp(-t / kDecaySeconds) * tone * fade));
    }
    return samples;
}

std::string infoList() {
    Writer version;
    version.u16(2);
    version.u16(1);
    return list("INFO", chunk("ifil", version.take()) + chunk("isng", std::string("EMU8000\0", 8)) +
                            chunk("INAM", std::string("RZ77 metronome click\0", 22)));
}

// The click's sample, then the accent's, each followed by its padding.
std::string sampleList(const std::vector<int16_t>& samples) {
    Writer w;
    for (int copy = 0; copy < 2; ++copy) {
        for (int16_t s : copy == 0 ? samples : tickSamples(kAccent)) {
            w.u16(static_cast<uint16_t>(s));
        }
        for (int i = 0; i < kPaddingPoints; ++i) {
            w.u16(0);
        }
    }
    return list("sdta", chunk("smpl", w.take()));
}

std::string presetHeaders() {
    Writer w;
    w.name("Metronome Click", 20);
    w.u16(kClickProgram);
    w.u16(0);  // bank
    w.u16(0);  // first preset zone
    w.u32(0);
    w.u32(0);
    w.u32(0);
    w.name("EOP", 20);
    w.u16(0);
    w.u16(0);
    w.u16(1);
    w.u32(0);
    w.u32(0);
    w.u32(0);
    return chunk("phdr", w.take());
}

// Zones as (first generator, first modulator), ending with the terminal zone.
std::string bags(const std::vector<std::pair<uint16_t, uint16_t>>& zones) {
    Writer w;
    for (const auto& [generator, modulator] : zones) {
        w.u16(generator);
        w.u16(modulator);
    }
    return w.take();
}

std::string generators(const std::vector<std::pair<uint16_t, uint16_t>>& list) {
    Writer w;
    for (const auto& [oper, amount] : list) {
        w.u16(oper);
        w.u16(amount);
    }
    w.u32(0);  // terminal generator
    return w.take();
}

// These replace default modulators with amount 0: the click is dry, so neither reverb nor chorus
// adds a tail that would blur the beat, and channel volume does not take it below full scale.
std::string clickModulators() {
    Writer w;
    const std::pair<uint16_t, uint16_t> overridden[] = {
        {kReverbDepthController | kControllerSource, ReverbSend},
        {kChorusDepthController | kControllerSource, ChorusSend},
        {kVolumeController | kControllerSource | kConcaveNegative, InitialAttenuation},
        {kExpressionController | kControllerSource | kConcaveNegative, InitialAttenuation},
    };
    for (const auto& [source, destination] : overridden) {
        w.u16(source);
        w.u16(destination);
        w.u16(0);
        w.u16(0);
        w.u16(0);
    }
    w.raw(std::string(10, '\0'));  // terminal modulator
    return w.take();
}

std::string instrumentHeaders(uint16_t zoneCount) {
    Writer w;
    w.name("Metronome Click", 20);
    w.u16(0);
    w.name("EOI", 20);
    w.u16(zoneCount);
    return chunk("inst", w.take());
}

// Both samples have the same length.
std::string sampleHeaders(uint32_t length) {
    Writer w;
    for (const char* name : {"Click", "Accent"}) {
        const uint32_t start = name[0] == 'C' ? 0 : length + kPaddingPoints;
        w.name(name, 20);
        w.u32(start);
        w.u32(start + length);
        w.u32(start + 8);  // loop points are required but unused: the sample plays once
        w.u32(start + length - 8);
        w.u32(kSampleRate);
        w.u8(60);  // original pitch; every key plays it unchanged
        w.u8(0);
        w.u16(0);
        w.u16(1);  // mono
    }
    w.name("EOS", 20);
    w.raw(std::string(26, '\0'));
    return chunk("shdr", w.take());
}

// A global zone with what every zone shares, then each sample hard left and hard right (a
// centred mono voice would lose 3 dB to the pan law): the click on every key but the accent's.
std::string presetDataList(uint32_t sampleLength) {
    constexpr uint16_t kClickSample = 0, kAccentSample = 1;
    const struct {
        uint16_t keys;  // low key, high key << 8
        uint16_t sample;
    } ranges[] = {{(kAccentNote - 1) << 8, kClickSample},
                  {kAccentNote | kAccentNote << 8, kAccentSample},
                  {(kAccentNote + 1) | 127 << 8, kClickSample}};
    std::vector<std::pair<uint16_t, uint16_t>> zoneGenerators = {
        {ScaleTuning, 0}, {ReverbSend, 0}, {ChorusSend, 0}, {SampleModes, 0}};
    std::vector<std::pair<uint16_t, uint16_t>> zones = {{0, 0}};
    for (const auto& range : ranges) {
        for (uint16_t pan : {kHardLeft, kHardRight}) {
            zones.emplace_back(static_cast<uint16_t>(zoneGenerators.size()), 4);
            zoneGenerators.insert(zoneGenerators.end(),
                                  {{KeyRange, range.keys}, {Pan, pan}, {SampleId, range.sample}});
        }
    }
    zones.emplace_back(static_cast<uint16_t>(zoneGenerators.size()), 4);
    return list("pdta", presetHeaders() + chunk("pbag", bags({{0, 0}, {1, 0}})) +
                            chunk("pmod", std::string(10, '\0')) +
                            chunk("pgen", generators({{Instrument, 0}})) +
                            instrumentHeaders(static_cast<uint16_t>(zones.size() - 1)) +
                            chunk("ibag", bags(zones)) + chunk("imod", clickModulators()) +
                            chunk("igen", generators(zoneGenerators)) +
                            sampleHeaders(sampleLength));
}

std::string build() {
    const std::vector<int16_t> samples = tickSamples(kClick);
    const std::string body = std::string("sfbk", 4) + infoList() + sampleList(samples) +
                             presetDataList(static_cast<uint32_t>(samples.size()));
    return chunk("RIFF", body);
}

}  // namespace

const std::string& bytes() {
    static const std::string font = build();
    return font;
}

}  // namespace ClickSoundFont
