// The backing track decoded and rate-converted offline: tones encoded at test time come out at
// their pitch and length at the engine's rate, and files that hold no MP3 audio are refused with
// one reason each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "MakeMp3.h"
#include "Pitch.h"
#include "TempDir.h"
#include "audio/Mp3Decoder.h"
#include "audio/TrackPlayer.h"

namespace {

constexpr int kOutputRate = 48000;

std::vector<float> decodeLeft(Mp3Decoder& decoder) {
    std::vector<float> left, block(2 * 1000);
    while (const int frames = decoder.read(block.data(), 1000)) {
        for (int i = 0; i < frames; ++i) {
            left.push_back(block[2 * i]);
        }
    }
    return left;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void corruptMiddle(const std::string& path) {
    std::string bytes = readAll(path);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 300; ++i) {
        bytes[i] = static_cast<char>(i * 37);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

void prependId3v2(const std::string& path, uint32_t size) {
    // Four bytes of seven bits each: the tag's size after its header.
    std::string tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift : {21, 14, 7, 0}) {
        tag.push_back(static_cast<char>((size >> shift) & 0x7F));
    }
    tag.append(size, '\0');
    const std::string audio = readAll(path);
    std::ofstream(path, std::ios::binary) << tag << audio;
}

TEST(TrackDecode, TonesComeOutAtTheirPitchAndLength) {
    TempDir dir;
    const struct {
        const char* name;
        const char* lame;
        double hz;
        // Seconds. A corrupt frame costs a few frames; lame pads what it resamples to a lower
        // rate by a couple of frames. A wrong rate would be off by 9 % or more.
        double lengthTolerance;
        void (*damage)(const std::string&);
    } cases[] = {
        {"44.1 kHz mono CBR", "-m m -b 128", 440, 0.005, nullptr},
        {"44.1 kHz at 320 kbit/s", "-m m -b 320", 330, 0.005, nullptr},
        {"48 kHz, played sample for sample", "--resample 48 -m m", 440, 0.005, nullptr},
        {"MPEG-2 at 22.05 kHz", "--resample 22.05 -m m", 220, 0.18, nullptr},
        {"MPEG-2.5 at 8 kHz", "--resample 8 -m m", 110, 0.18, nullptr},
        {"VBR without a header", "-V 2 -t -m m", 440, 0.06, nullptr},
        {"a 3 MB ID3v2 tag in front", "-m m", 440, 0.005,
         [](const std::string& p) { prependId3v2(p, 3u << 20); }},
        {"a corrupt frame in the middle", "-m m -b 128", 440, 0.12, corruptMiddle},
    };
    for (const auto& c : cases) {
        const std::string path = (dir.path() / "tone.mp3").string();
        ASSERT_TRUE(makeToneMp3(path, {{2.0, c.hz}}, c.lame)) << c.name;
        if (c.damage != nullptr) {
            c.damage(path);
        }
        std::string error;
        auto decoder = Mp3Decoder::open(path, error);
        ASSERT_TRUE(decoder) << c.name << ": " << error;
        ASSERT_TRUE(decoder->setOutputRate(kOutputRate, error)) << error;
        const std::vector<float> left = decodeLeft(*decoder);
        EXPECT_NEAR(left.size() / double(kOutputRate), 2.0, c.lengthTolerance) << c.name;
        const std::vector<float> steady(left.begin() + kOutputRate / 2,
                                        left.begin() + kOutputRate / 2 + 4800);
        EXPECT_NEAR(estimatePitch(steady, kOutputRate), c.hz, c.hz * 0.002) << c.name;

        decoder->rewind();
        const std::vector<float> again = decodeLeft(*decoder);
        ASSERT_EQ(again.size(), left.size()) << c.name << ": rewound, it decodes the same";
        for (size_t i = 0; i < left.size(); i += 97) {
            ASSERT_NEAR(again[i], left[i], 1e-4) << c.name << ": rewound, at frame " << i;
        }
    }
}

TEST(TrackDecode, FilesWithoutMp3AudioAreRefusedWithAReason) {
    TempDir dir;
    std::string wav = "RIFF\x24\x71\x02\x00WAVEfmt ";
    wav.append(std::string("\x10\0\0\0\1\0\1\0\x44\xAC\0\0\x88\x58\1\0\2\0\x10\0data", 24));
    std::mt19937 random(77);
    std::string noise, sine;
    for (int i = 0; i < 200000; ++i) {
        noise.push_back(static_cast<char>(random()));
        const auto sample = static_cast<int16_t>(12000 * std::sin(i * 0.0627));
        sine.push_back(static_cast<char>(sample & 0xFF));
        sine.push_back(static_cast<char>(sample >> 8));
    }
    std::filesystem::create_directory(dir.path() / "folder.mp3");
    const std::string paths[] = {
        dir.write("wave.mp3", wav + sine),
        dir.write("noise.mp3", noise),
        dir.write("empty.mp3", ""),
        (dir.path() / "folder.mp3").string(),
        (dir.path() / "missing.mp3").string(),
    };
    for (const std::string& path : paths) {
        std::string error;
        EXPECT_FALSE(Mp3Decoder::open(path, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
}

TEST(TrackDecode, AFileCutShortPlaysWhatItHolds) {
    TempDir dir;
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{2.0, 440}}, "-m m -b 128"));
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    ASSERT_TRUE(decoder) << error;
    ASSERT_TRUE(decoder->setOutputRate(kOutputRate, error));
    EXPECT_NEAR(decodeLeft(*decoder).size() / double(kOutputRate), 1.0, 0.05);
}

// A seek lands on the frame asked for, in the decoder and in the player, which then plays on
// from there.
TEST(TrackDecode, SeekGoesOnFromTheFrameAskedFor) {
    TempDir dir;
    const std::string path = (dir.path() / "two.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{1.0, 440}, {1.0, 660}}));
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    ASSERT_TRUE(decoder && decoder->setOutputRate(kOutputRate, error)) << error;
    const size_t total = decodeLeft(*decoder).size();
    const struct {
        int64_t frame;
        double hz;
    } seeks[] = {{60000, 660}, {12000, 440}};
    for (const auto& seek : seeks) {
        EXPECT_EQ(decoder->seek(seek.frame), seek.frame);
        const std::vector<float> rest = decodeLeft(*decoder);
        EXPECT_NEAR(static_cast<double>(rest.size()), static_cast<double>(total - seek.frame), 240);
        const std::vector<float> start(rest.begin() + 480, rest.begin() + 480 + 4800);
        EXPECT_NEAR(estimatePitch(start, kOutputRate), seek.hz, seek.hz * 0.002) << seek.frame;
    }

    TrackPlayer player(kOutputRate);
    player.load(std::move(decoder));
    player.seek(60000);
    EXPECT_EQ(player.playedFrames(), 60000);
    player.play();
    std::vector<float> block(2 * 480);
    for (int wait = 0; wait < 400 && player.playedFrames() == 60000; ++wait) {
        player.mixInto(block.data(), 480);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(player.playedFrames(), 60480);  // on from the seek, not from the start
}

// Round and round an A-B loop of a steady tone: the play position stays in the loop, and at the
// seam the sound neither jumps (a click) nor drops out (a gap).
TEST(TrackDecode, ALoopGoesRoundWithoutAClickOrAGap) {
    TempDir dir;
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{2.0, 440}}));
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    ASSERT_TRUE(decoder && decoder->setOutputRate(kOutputRate, error)) << error;
    TrackPlayer player(kOutputRate);
    player.load(std::move(decoder));
    constexpr size_t kHeardFrames = 167 * 480;        // three times round
    player.setLoop(TrackPlayer::Loop{24000, 50017});  // the seam joins two unlike phases
    player.seek(24000);
    player.play();

    // Taken at the pace of a stream, as the audio thread takes it: the worker keeps ahead.
    std::vector<float> heard, block(2 * 480);
    int64_t lowest = INT64_MAX, highest = 0;
    for (int tries = 0; heard.size() < kHeardFrames && tries < 1000; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::fill(block.begin(), block.end(), 0.0f);
        player.mixInto(block.data(), 480);
        if (std::all_of(block.begin(), block.end(), [](float x) { return x == 0; })) {
            continue;  // not decoded yet
        }
        for (size_t i = 0; i < block.size(); i += 2) {
            heard.push_back(block[i]);
        }
        lowest = std::min(lowest, player.playedFrames());
        highest = std::max(highest, player.playedFrames());
    }
    ASSERT_EQ(heard.size(), kHeardFrames);
    EXPECT_GE(lowest, 24000);
    EXPECT_LT(highest, 50017);
    // A jump in level or in slope shows as a kink: a hard cut at this seam makes one of 0.05,
    // while the tone itself, coding noise and all, bends by 0.0025 at most.
    float sharpest = 0;
    for (size_t i = 1; i + 1 < heard.size(); ++i) {
        sharpest = std::max(sharpest, std::abs(heard[i + 1] - 2 * heard[i] + heard[i - 1]));
    }
    EXPECT_LT(sharpest, 0.005f);
    double quietest = 1;
    for (size_t at = 0; at + 480 <= heard.size(); at += 240) {
        double energy = 0;
        for (size_t i = at; i < at + 480; ++i) {
            energy += heard[i] * heard[i];
        }
        quietest = std::min(quietest, std::sqrt(energy / 480));
    }
    EXPECT_GT(quietest, 0.08) << "the tone's level is 0.26";
}

}  // namespace
