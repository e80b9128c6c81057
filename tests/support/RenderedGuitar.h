#pragma once
// Guitar notes from a General MIDI sound font's recorded samples, rendered at run time by the
// fluidsynth program, and each note's fundamental measured offline by a second method: the peak
// of a long Blackman–Harris window's spectrum near the note played.

#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace rendered {

constexpr const char* kFluidR3 = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr const char* kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr double kRate = 48000;

inline bool available(const char* font) {
    return std::filesystem::exists(font) &&
           std::system("fluidsynth --version >/dev/null 2>&1") == 0;
}

struct Note {
    int key;
    double onSeconds;  // how long the key is held
    double cents = 0;  // bent by the pitch wheel, which spans two semitones either way
};

// One track at 960 ticks a second: a program change, then each note after the last, with
// `gapSeconds` between, the sound of the one before cut off.
inline std::string midiFile(int program, const std::vector<Note>& notes, double gapSeconds) {
    std::string events;
    const auto delta = [&events](double seconds) {
        auto ticks = static_cast<std::uint32_t>(std::lround(seconds * 960));
        std::string bytes(1, static_cast<char>(ticks & 0x7f));
        while (ticks >>= 7) {
            bytes.insert(bytes.begin(), static_cast<char>((ticks & 0x7f) | 0x80));
        }
        events += bytes;
    };
    const auto message = [&events](std::initializer_list<int> bytes) {
        for (int b : bytes) {
            events += static_cast<char>(b);
        }
    };
    delta(0);
    message({0xc0, program});
    for (std::size_t i = 0; i < notes.size(); ++i) {
        delta(i == 0 ? 0 : gapSeconds);
        // All sound off: a low string's release rings on for seconds, and would beat with the
        // next note.
        message({0xb0, 120, 0});
        delta(0);
        const auto bend = static_cast<int>(std::lround(8192 + notes[i].cents / 200 * 8192));
        message({0xe0, bend & 0x7f, bend >> 7});
        delta(0);
        message({0x90, notes[i].key, 100});
        delta(notes[i].onSeconds);
        message({0x80, notes[i].key, 0});
    }
    delta(gapSeconds);
    message({0xff, 0x2f, 0x00});
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    // 480 ticks a quarter note at the default 120 beats a minute.
    return std::string("MThd") + be32(6) + std::string("\0\0\0\1\1\xe0", 6) + "MTrk" +
           be32(static_cast<std::uint32_t>(events.size())) + events;
}

// 16-bit PCM as fluidsynth writes it, the channels mixed to one.
inline std::vector<float> readWav(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> data((std::istreambuf_iterator<char>(file)), {});
    std::vector<float> out;
    int channels = 2;
    for (std::size_t at = 12; at + 8 <= data.size();) {
        std::uint32_t length;
        std::memcpy(&length, &data[at + 4], 4);
        if (std::memcmp(&data[at], "fmt ", 4) == 0) {
            std::uint16_t c;
            std::memcpy(&c, &data[at + 10], 2);
            channels = c;
        } else if (std::memcmp(&data[at], "data", 4) == 0) {
            const std::size_t frames =
                std::min<std::size_t>(length, data.size() - at - 8) / (2 * channels);
            out.resize(frames);
            for (std::size_t i = 0; i < frames; ++i) {
                double sum = 0;
                for (int c = 0; c < channels; ++c) {
                    std::int16_t v;
                    std::memcpy(&v, &data[at + 8 + 2 * (i * channels + c)], 2);
                    sum += v / 32768.0;
                }
                out[i] = static_cast<float>(sum / channels);
            }
        }
        at += 8 + length + (length & 1);
    }
    return out;
}

// The notes, one after another, as the sound font sounds them on `program` with neither reverb
// nor chorus (chorus would detune them); each note's samples from its key press on.
inline std::vector<std::vector<float>> render(const char* font, int program,
                                              const std::vector<Note>& notes,
                                              double gapSeconds = 0.5) {
    char folder[] = "/tmp/rz77-rendered-XXXXXX";
    if (!mkdtemp(folder)) {
        return {};
    }
    const std::string midi = std::string(folder) + "/notes.mid";
    const std::string wav = std::string(folder) + "/notes.wav";
    std::ofstream(midi, std::ios::binary) << midiFile(program, notes, gapSeconds);
    const std::string command = "fluidsynth -ni -q -R 0 -C 0 -g 1 -r 48000 -F '" + wav + "' '" +
                                font + "' '" + midi + "' >/dev/null 2>&1";
    const bool made = std::system(command.c_str()) == 0;
    const auto all = made ? readWav(wav) : std::vector<float>{};
    std::filesystem::remove_all(folder);
    std::vector<std::vector<float>> out;
    double at = 0;
    for (const Note& note : notes) {
        const auto begin = std::min(all.size(), static_cast<std::size_t>(at * kRate));
        const auto end = std::min(
            all.size(), static_cast<std::size_t>((at + note.onSeconds + gapSeconds) * kRate));
        out.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(begin),
                         all.begin() + static_cast<std::ptrdiff_t>(end));
        at += note.onSeconds + gapSeconds;
    }
    return out;
}

inline double nominalHz(int key) {
    return 440 * std::pow(2.0, (key - 69) / 12.0);
}

// Samples [from, to) under a 4-term Blackman–Harris window, whose sidelobes (−92 dB) keep a
// strong second partial from pulling a weak fundamental's peak.
inline std::vector<double> windowed(const std::vector<float>& s, std::size_t from, std::size_t to) {
    std::vector<double> out(to - from);
    const double n = static_cast<double>(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double x = 2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / n;
        out[i] = (0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) -
                  0.01168 * std::cos(3 * x)) *
                 s[from + i];
    }
    return out;
}

inline double magnitudeAt(const std::vector<double>& windowed, double hz) {
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * hz / kRate);
    std::complex<double> turn = 1, sum = 0;
    for (double x : windowed) {
        sum += x * turn;
        turn *= step;
    }
    return std::abs(sum);
}

// The fundamental over [fromSeconds, toSeconds): the spectrum's peak within 60 cents of the key
// played (bent by `cents`), found on a 2-cent grid and then by golden section.
inline double fundamentalHz(const std::vector<float>& s, int key, double fromSeconds,
                            double toSeconds, double cents = 0) {
    const auto from = std::min(s.size(), static_cast<std::size_t>(fromSeconds * kRate));
    const auto to = std::min(s.size(), static_cast<std::size_t>(toSeconds * kRate));
    const auto part = windowed(s, from, to);
    const double nominal = nominalHz(key) * std::pow(2.0, cents / 1200);
    const auto at = [&](double cents) {
        return magnitudeAt(part, nominal * std::pow(2.0, cents / 1200));
    };
    double best = -60, bestMagnitude = 0;
    for (double cents = -60; cents <= 60; cents += 2) {
        if (const double m = at(cents); m > bestMagnitude) {
            best = cents;
            bestMagnitude = m;
        }
    }
    const double golden = (std::sqrt(5.0) - 1) / 2;
    double low = best - 2, high = best + 2;
    double a = high - golden * (high - low), b = low + golden * (high - low);
    double atA = at(a), atB = at(b);
    for (int i = 0; i < 30; ++i) {
        if (atA > atB) {
            high = b;
            b = a;
            atB = atA;
            a = high - golden * (high - low);
            atA = at(a);
        } else {
            low = a;
            a = b;
            atA = atB;
            b = low + golden * (high - low);
            atB = at(b);
        }
    }
    return nominal * std::pow(2.0, (low + high) / 2 / 1200);
}

}  // namespace rendered
