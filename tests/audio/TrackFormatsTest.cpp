// Every common format, encoded at test time with the encoders Debian ships from one known signal,
// decoded through openTrackDecoder (libmpg123, libsndfile or FFmpeg): its length, its samples
// against the source (lossless) or against FFmpeg's own command-line decode (lossy), a seek landing
// on the samples decoded through, its tags; and files that cannot be played, each refused with a
// reason in words.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "audio/TrackDecoder.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 3 * kRate;
constexpr const char* kTags = "-metadata title=Tune -metadata artist=Band";

// Left 440 Hz and right 660 Hz at different levels, so a swapped or dropped channel shows.
std::vector<int16_t> sourceSignal(int channels, int rate, int frames) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double hz = c == 0 ? 440 : 660;
            const double level = c == 0 ? 12000 : (channels == 2 ? 6000 : 0);
            samples.push_back(static_cast<int16_t>(level * std::sin(2 * M_PI * hz * i / rate)));
        }
    }
    return samples;
}

std::string writeRaw(const TempDir& dir, const std::string& name,
                     const std::vector<int16_t>& samples) {
    const std::string path = (dir.path() / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()),
               static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
    return path;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<float> decodeAll(TrackDecoder& decoder) {
    std::vector<float> all, block(2 * 4096);
    while (const int frames = decoder.read(block.data(), 4096)) {
        all.insert(all.end(), block.begin(), block.begin() + 2 * frames);
    }
    return all;
}

float largestDifference(const float* a, const float* b, size_t count) {
    float largest = 0;
    for (size_t i = 0; i < count; ++i) {
        largest = std::max(largest, std::abs(a[i] - b[i]));
    }
    return largest;
}

// FFmpeg's own decode of a file, stereo float, as the reference for lossy formats.
std::vector<float> referenceDecode(const std::string& path) {
    const std::string out = path + ".f32";
    std::vector<float> samples;
    if (run("ffmpeg -v error -i '" + path + "' -f f32le -ac 2 -y '" + out + "'")) {
        std::ifstream in(out, std::ios::binary | std::ios::ate);
        samples.resize(static_cast<size_t>(in.tellg()) / sizeof(float));
        in.seekg(0).read(reinterpret_cast<char*>(samples.data()),
                         static_cast<std::streamsize>(samples.size() * sizeof(float)));
    }
    return samples;
}

class TrackFormats : public testing::Test {
protected:
    TempDir dir;
    const std::string stereo = writeRaw(dir, "stereo.raw", sourceSignal(2, kRate, kFrames));
    const std::string raw = "-f s16le -ar 44100 -ac 2 -i '" + stereo + "'";
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }
};

TEST_F(TrackFormats, EachFormatDecodesToItsLengthSamplesAndTags) {
    const std::string mono = writeRaw(dir, "mono.raw", sourceSignal(1, 48000, 3 * 48000));
    const struct {
        const char* file;
        std::string encode;
        bool lossless;
        int rate;
        int extraFrames;  // the encoder's padding the container does not trim
        float seekTolerance;
        bool tagged;
    } cases[] = {
        {"s16.wav", "ffmpeg " + raw + " -c:a pcm_s16le", true, kRate, 0, 0, false},
        {"s24.wav", "ffmpeg " + raw + " -c:a pcm_s24le", true, kRate, 0, 0, false},
        {"s16.aiff", "ffmpeg " + raw, true, kRate, 0, 0, false},
        {"tagged.flac",
         "flac --silent --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
         "--sample-rate=44100 -T TITLE=Tune -T ARTIST=Band '" +
             stereo + "' -o",
         true, kRate, 0, 0, true},
        {"mono.flac", "ffmpeg -f s16le -ar 48000 -ac 1 -i '" + mono + "'", true, 48000, 0, 0,
         false},
        {"mono-alac.m4a", "ffmpeg -f s16le -ar 48000 -ac 1 -i '" + mono + "' -c:a alac", true,
         48000, 0, 0, false},
        {"tagged.mp3",
         "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian --tt Tune --ta Band '" +
             stereo + "'",
         false, kRate, 0, 0, true},
        {"tagged.ogg",
         "oggenc -Q --raw --raw-rate=44100 --raw-chan=2 -t Tune -a Band '" + stereo + "' -o", false,
         kRate, 0, 0, true},
        {"tagged.opus",
         "opusenc --quiet --raw --raw-rate 44100 --raw-chan 2 --title Tune --artist Band '" +
             stereo + "'",
         false, 48000, 0, 0, true},
        {"tagged.m4a", "ffmpeg " + raw + " -c:a aac " + kTags, false, kRate, 2048, 1e-4f, true},
    };
    for (const auto& c : cases) {
        const std::string file = path(c.file);
        const bool ffmpegMakes = c.encode.rfind("ffmpeg", 0) == 0;
        ASSERT_TRUE(run(c.encode + (ffmpegMakes ? " -y '" : " '") + file + "'")) << c.file;
        std::string error;
        auto decoder = openTrackDecoder(file, error);
        ASSERT_TRUE(decoder) << c.file << ": " << error;
        ASSERT_TRUE(decoder->setOutputRate(decoder->fileRate(), error)) << error;
        EXPECT_EQ(decoder->fileRate(), c.rate) << c.file;
        EXPECT_NEAR(decoder->estimatedSeconds(), 3.0, 0.1) << c.file;
        const std::vector<float> decoded = decodeAll(*decoder);
        const size_t frames = decoded.size() / 2;
        const size_t expected = static_cast<size_t>(3 * c.rate);
        EXPECT_GE(frames, expected) << c.file;
        EXPECT_LE(frames, expected + c.extraFrames) << c.file;

        if (c.lossless) {
            // Sample for sample against the source; mono on both sides at its full level.
            const auto source = sourceSignal(c.rate == kRate ? 2 : 1, c.rate, 3 * c.rate);
            const size_t channels = c.rate == kRate ? 2 : 1;
            size_t wrong = 0;
            for (size_t i = 0; i < 2 * std::min(frames, expected); ++i) {
                wrong += decoded[i] != source[i / 2 * channels + (i % 2) % channels] / 32768.0f;
            }
            EXPECT_EQ(wrong, 0u) << c.file;
        } else {
            const std::vector<float> reference = referenceDecode(file);
            ASSERT_GE(reference.size(), 8192u) << c.file;
            // Another decoder of the same format rounds otherwise, by less than 1e-4; a sample out
            // of place is off by a hundred times more.
            EXPECT_LE(largestDifference(decoded.data(), reference.data(), 8192), 1e-4f) << c.file;
        }

        // A seek lands on the samples decoded through, whatever the decoder needs to get there.
        const int64_t at = c.rate + 123;
        EXPECT_EQ(decoder->seek(at), at) << c.file;
        std::vector<float> after(2 * 2000);
        ASSERT_EQ(decoder->read(after.data(), 2000), 2000) << c.file;
        EXPECT_LE(largestDifference(after.data(), decoded.data() + 2 * at, after.size()),
                  c.seekTolerance)
            << c.file;
        decoder->rewind();
        ASSERT_EQ(decoder->read(after.data(), 2000), 2000) << c.file;
        EXPECT_EQ(largestDifference(after.data(), decoded.data(), after.size()), 0) << c.file;

        const TrackTags tags = decoder->tags();
        EXPECT_EQ(tags.title, c.tagged ? "Tune" : "") << c.file;
        EXPECT_EQ(tags.artist, c.tagged ? "Band" : "") << c.file;
    }
}

// Six channels with sound on the front left only: it stays on the left, scaled down no more than
// FFmpeg's downmix needs to keep every channel from clipping.
TEST_F(TrackFormats, MoreChannelsFoldToStereoInPlace) {
    std::vector<int16_t> six;
    for (const int16_t left : sourceSignal(1, kRate, kRate)) {
        six.insert(six.end(), {left, 0, 0, 0, 0, 0});
    }
    const std::string sixRaw = writeRaw(dir, "six.raw", six);
    const std::string file = path("six.flac");
    ASSERT_TRUE(run("ffmpeg -f s16le -ar 44100 -ac 6 -channel_layout 5.1 -i '" + sixRaw + "' -y '" +
                    file + "'"));
    std::string error;
    auto decoder = openTrackDecoder(file, error);
    ASSERT_TRUE(decoder && decoder->setOutputRate(kRate, error)) << error;
    const std::vector<float> decoded = decodeAll(*decoder);
    ASSERT_EQ(decoded.size(), 2u * kRate);
    const auto source = sourceSignal(1, kRate, kRate);
    double gain = 0, rightLevel = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        if (std::abs(source[i]) > 6000) {
            gain = std::max(gain, std::abs(decoded[2 * i] * 32768.0 / source[i]));
        }
        rightLevel = std::max(rightLevel, std::abs(static_cast<double>(decoded[2 * i + 1])));
    }
    EXPECT_GT(gain, 0.25);
    EXPECT_LE(gain, 1.0);
    EXPECT_LT(rightLevel, 1e-6);
}

TEST_F(TrackFormats, FilesThatCannotPlayAreRefusedWithAReason) {
    const std::string m4a = path("whole.m4a");
    const std::string wav = path("whole.wav");
    ASSERT_TRUE(run("ffmpeg " + raw + " -c:a aac -y '" + m4a + "'"));
    ASSERT_TRUE(run("ffmpeg " + raw + " -y '" + wav + "'"));
    ASSERT_TRUE(
        run("ffmpeg -f lavfi -i testsrc=duration=1:size=32x32 -y '" + path("video.mp4") + "'"));
    std::ifstream in(m4a, std::ios::binary);
    const std::string m4aBytes((std::istreambuf_iterator<char>(in)), {});
    std::ifstream wavIn(wav, std::ios::binary);
    std::string wavBytes((std::istreambuf_iterator<char>(wavIn)), {});
    std::string protectedM4a = m4aBytes;
    protectedM4a.replace(protectedM4a.find("mp4a"), 4, "drms");
    std::string unknownCodec = wavBytes;
    unknownCodec[20] = 0x34;  // the WAV format tag: no codec has it
    unknownCodec[21] = 0x12;
    const struct {
        std::string file;
        const char* reason;
    } cases[] = {
        {dir.write("notes.flac", "not a sound at all, just some words in a file\n"),
         "not an audio file"},
        {dir.write("empty.m4a", ""), "empty"},
        {dir.write("header.wav", wavBytes.substr(0, 40)), "a WAV file, but it is damaged"},
        {dir.write("cut.m4a", m4aBytes.substr(0, 3000)), "an M4A file, but it is damaged"},
        {dir.write("shop.m4a", protectedM4a), "DRM"},
        {dir.write("odd.wav", unknownCodec), "tag 0x1234"},
        {path("video.mp4"), "holds no sound"},
        {path("gone.ogg"), "no longer there"},
        {dir.str(), "folder"},
        {mkfifo(path("pipe.flac").c_str(), 0600) == 0 ? path("pipe.flac") : "", "a pipe"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(openTrackDecoder(c.file, error)) << c.file;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
    }
    // A file cut short plays what it holds.
    std::string error;
    auto half =
        openTrackDecoder(dir.write("half.wav", wavBytes.substr(0, wavBytes.size() / 2)), error);
    ASSERT_TRUE(half && half->setOutputRate(kRate, error)) << error;
    EXPECT_NEAR(static_cast<double>(decodeAll(*half).size()) / 2, kFrames / 2.0, 100);
}

}  // namespace
