#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

struct ToneSegment {
    double seconds;
    double hz;
};

// Encodes steady sine tones, one after the other, as an MP3 file with the lame encoder and
// returns whether that worked. The file carries no tag. lameOptions choose the stream's rate,
// mode or bit rate (e.g. "--resample 8 -m m", "-V 2 -t").
inline bool makeToneMp3(const std::string& path, const std::vector<ToneSegment>& tones,
                        const std::string& lameOptions = "-m m") {
    constexpr int kRate = 44100;
    const std::string raw = path + ".raw";
    {
        std::ofstream out(raw, std::ios::binary);
        double phase = 0;
        for (const ToneSegment& tone : tones) {
            for (int i = 0; i < static_cast<int>(tone.seconds * kRate); ++i) {
                const auto sample = static_cast<int16_t>(12000 * std::sin(phase));
                phase += 2 * M_PI * tone.hz / kRate;
                out.put(static_cast<char>(sample & 0xFF)).put(static_cast<char>(sample >> 8));
            }
        }
    }
    const std::string command =
        "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian --noreplaygain " +
        lameOptions + " '" + raw + "' '" + path + "'";
    const bool encoded = std::system(command.c_str()) == 0;
    std::remove(raw.c_str());
    return encoded;
}
