// The backing track decoded and rate-converted offline: tones encoded at test time come out at
// their pitch and length at the engine's rate, and files that hold no MP3 audio are refused with
// one reason each. The loop's seams, changes and the count-in are written by the track's
// timeline in virtual time; the seek goes through the player's threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "MakeMp3.h"
#include "Pitch.h"
#include "TempDir.h"
#include "audio/BeatGrid.h"
#include "audio/Mp3Decoder.h"
#include "audio/SampleRing.h"
#include "audio/TrackPlayer.h"
#include "audio/TrackTimeline.h"

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

struct Heard {
    std::vector<float> left;
    int64_t lowest = INT64_MAX, highest = 0;  // play positions
};

// The player's worker and audio thread taking turns in virtual time: the timeline fills the ring
// as far ahead as the player's does, then the stream takes a block.
struct VirtualTrack {
    explicit VirtualTrack(std::unique_ptr<Mp3Decoder> toPlay) : decoder(std::move(toPlay)) {
        render.setDecoder(decoder.get());
    }
    void fillAhead() {
        while (timeline.wantsChunk()) {
            timeline.renderChunk();
        }
    }
    // A change while the stream plays, heard after the lead as the player's worker makes it.
    void changeWhilePlaying() {
        const auto lead = 2 * static_cast<size_t>(TrackTimeline::kChangeLeadSeconds * kOutputRate);
        timeline.rewrite(ring.readCount() + lead, true, std::nullopt);
    }
    int64_t playedFrames() const {
        return timeline.positionAt(static_cast<int64_t>(ring.readCount() / 2));
    }

    std::unique_ptr<Mp3Decoder> decoder;
    SampleRing ring{static_cast<size_t>(2.5 * kOutputRate) * 2};
    TrackRender render{kOutputRate, StretchEngine::Faster};
    TrackTimeline timeline{kOutputRate, ring,
                           [this](const TrackTuning&) -> TrackRender& { return render; }};
};

// Taken a block at a time, as the audio thread takes it. Each block heard is counted to the
// caller.
Heard hearInTurns(VirtualTrack& track, size_t frames,
                  const std::function<void(size_t)>& afterBlock = {}) {
    Heard heard;
    std::vector<float> block(2 * 480);
    for (int tries = 0; heard.left.size() < frames && tries < 2000; ++tries) {
        track.fillAhead();
        std::fill(block.begin(), block.end(), 0.0f);
        track.ring.readAdding(block.data(), block.size());
        if (std::all_of(block.begin(), block.end(), [](float x) { return x == 0; })) {
            continue;  // before the track's first sound
        }
        for (size_t i = 0; i < block.size(); i += 2) {
            heard.left.push_back(block[i]);
        }
        heard.lowest = std::min(heard.lowest, track.playedFrames());
        heard.highest = std::max(heard.highest, track.playedFrames());
        if (afterBlock) {
            afterBlock(heard.left.size() / 480);
        }
    }
    return heard;
}

// A jump in level or in slope shows as a kink, where a steady tone, coding noise and all, bends
// by 0.0025 at most.
float sharpestKink(const std::vector<float>& heard) {
    float sharpest = 0;
    for (size_t i = 1; i + 1 < heard.size(); ++i) {
        sharpest = std::max(sharpest, std::abs(heard[i + 1] - 2 * heard[i] + heard[i - 1]));
    }
    return sharpest;
}

// The lowest level of any 10 ms: a gap shows as a level near zero.
double quietestLevel(const std::vector<float>& heard) {
    double quietest = 1;
    for (size_t at = 0; at + 480 <= heard.size(); at += 240) {
        double energy = 0;
        for (size_t i = at; i < at + 480; ++i) {
            energy += heard[i] * heard[i];
        }
        quietest = std::min(quietest, std::sqrt(energy / 480));
    }
    return quietest;
}

// A steady 440 Hz tone of the given length, ready to decode at the output rate; nullptr when
// that fails.
std::unique_ptr<Mp3Decoder> toneDecoder(const TempDir& dir, double seconds) {
    const std::string path = (dir.path() / "tone.mp3").string();
    std::string error;
    auto decoder = makeToneMp3(path, {{seconds, 440}}) ? Mp3Decoder::open(path, error) : nullptr;
    return decoder && decoder->setOutputRate(kOutputRate, error) ? std::move(decoder) : nullptr;
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

// 8 KiB of damaged data in the middle of the audio: far more than a decoder looks through for the
// next frame by default.
void insertJunk(const std::string& path, bool zeros) {
    std::string bytes = readAll(path);
    std::mt19937 random(8);
    std::string junk(8192, '\0');
    for (char& byte : junk) {
        byte = zeros ? '\0' : static_cast<char>(random());
    }
    bytes.insert(bytes.size() / 2, junk);
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
        {"8 KiB of random bytes in the middle", "-m m -b 128", 440, 0.12,
         [](const std::string& p) { insertJunk(p, false); }},
        {"8 KiB of zeros in the middle", "-m m -b 128", 440, 0.12,
         [](const std::string& p) { insertJunk(p, true); }},
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
    const std::string locked = dir.write("locked.mp3", noise);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const struct {
        std::string path;
        const char* reason;  // in the words the user is told
    } cases[] = {
        {dir.write("wave.mp3", wav + sine), "no MP3 audio"},
        {dir.write("noise.mp3", noise), "no MP3 audio"},
        {dir.write("empty.mp3", ""), "empty"},
        {(dir.path() / "folder.mp3").string(), "folder"},
        {(dir.path() / "missing.mp3").string(), "no longer there"},
        {(dir.path() / "none" / "missing.mp3").string(), "no longer there"},
        // Whoever may read every file reads this one too.
        {::geteuid() == 0 ? "" : locked, "no permission to read it"},
    };
    for (const auto& c : cases) {
        if (c.path.empty()) {
            continue;
        }
        std::string error;
        EXPECT_FALSE(Mp3Decoder::open(c.path, error)) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
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
    ASSERT_TRUE(player.load(std::move(decoder), error)) << error;
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

// The faster stretcher turned on and off while a slowed track plays: each change of engine is
// heard without a gap, and the tone keeps its pitch.
TEST(TrackDecode, TheStretcherChangesWhilePlayingWithoutAGap) {
    TempDir dir;
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{4.0, 440}}));
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    ASSERT_TRUE(decoder && decoder->setOutputRate(kOutputRate, error)) << error;
    TrackPlayer player(kOutputRate, StretchEngine::Finer);
    ASSERT_TRUE(player.load(std::move(decoder), error)) << error;
    player.setTuning({0.5, 0, 0});
    player.play();
    std::vector<float> heard, block(2 * 480);
    const auto hearBlocks = [&](int count) {
        for (int i = 0; i < count; ++i) {
            // Only what the worker has rendered: a slow machine must not look like a gap.
            for (int wait = 0; wait < 400 && player.aheadFrames() < 480; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::fill(block.begin(), block.end(), 0.0f);
            player.mixInto(block.data(), 480);
            for (size_t frame = 0; frame < 480; ++frame) {
                heard.push_back(block[2 * frame]);
            }
        }
    };
    hearBlocks(30);
    for (bool faster : {true, false, true}) {
        player.setFasterStretch(faster);
        hearBlocks(30);
    }
    const auto rms = [&](size_t from) {
        double sum = 0;
        for (size_t i = from; i < from + 480; ++i) {
            sum += heard[i] * heard[i];
        }
        return std::sqrt(sum / 480);
    };
    const double steady = rms(heard.size() - 480);
    for (size_t from = 10 * 480; from + 480 <= heard.size(); from += 480) {
        EXPECT_GT(rms(from), 0.5 * steady) << "block at " << from;
    }
    const std::vector<float> last(heard.end() - 4800, heard.end());
    EXPECT_NEAR(estimatePitch(last, kOutputRate), 440, 440 * 0.002);
}

// Round and round an A-B loop of a steady tone: the play position stays in the loop, and at the
// seam the sound neither jumps (a click) nor drops out (a gap).
// As decoded, and slowed down by the stretcher.
class LoopSeam : public testing::TestWithParam<double> {};
INSTANTIATE_TEST_SUITE_P(TrackDecode, LoopSeam, testing::Values(1.0, 0.6));

TEST_P(LoopSeam, ALoopGoesRoundWithoutAClickOrAGap) {
    TempDir dir;
    VirtualTrack track(toneDecoder(dir, 2.0));
    ASSERT_TRUE(track.decoder);
    track.timeline.setTuning({GetParam(), 0, 0});
    const size_t kHeardFrames = static_cast<size_t>(167 / GetParam()) * 480;  // three times round
    track.timeline.setLoop(TrackTimeline::Loop{24000, 50017});  // the seam joins two unlike phases
    track.timeline.rewind(true);
    track.timeline.rewrite(0, false, 24000);  // a seek before play

    const Heard heard = hearInTurns(track, kHeardFrames);
    ASSERT_EQ(heard.left.size(), kHeardFrames);
    EXPECT_GE(heard.lowest, 24000);
    EXPECT_LT(heard.highest, 50017);
    // A hard cut at this seam makes a kink of 0.05.
    EXPECT_LT(sharpestKink(heard.left), 0.005f);
    EXPECT_GT(quietestLevel(heard.left), 0.08) << "the tone's level is 0.26";
}

// A trained loop counted in before each pass: the play position waits at the loop's start for a
// bar of clicks at the tempo times the coming pass's speed, and the pass plays at that speed.
TEST(TrackTimeline, ATrainedLoopCountsInEachPassAtItsSpeed) {
    TempDir dir;
    VirtualTrack track(toneDecoder(dir, 1.0));
    ASSERT_TRUE(track.decoder);
    const TrackTimeline::Loop loop{12000, 36000};
    track.timeline.setLoop(loop);
    track.timeline.setTrainer(SpeedTrainer{0.5, 0.25, 1.0});
    track.timeline.setCountIn(120.0);
    track.timeline.rewind(true);
    track.timeline.rewrite(0, false, loop.from);  // a seek: this first pass is not counted in

    std::map<double, int> blocksCountingIn;  // by the speed of the pass they count in
    std::vector<float> block(2 * 480);
    for (int blocks = 0; blocks < 1000; ++blocks) {
        track.fillAhead();
        track.ring.readAdding(block.data(), block.size());
        const auto at = static_cast<int64_t>(track.ring.readCount() / 2);
        const double speed = track.timeline.speedAt(at);
        const int64_t position = track.timeline.positionAt(at);
        ASSERT_GE(position, loop.from);
        ASSERT_LT(position, loop.to);
        if (position == loop.from) {
            ++blocksCountingIn[speed];
        } else if (blocksCountingIn.count(1.0) > 0) {
            break;  // the third pass plays
        }
    }
    EXPECT_EQ(blocksCountingIn.count(0.5), 0u);
    EXPECT_NEAR(blocksCountingIn[0.75], 4 * 32000 / 480.0, 1) << "four beats at 90 BPM";
    EXPECT_NEAR(blocksCountingIn[1.0], 4 * 24000 / 480.0, 1) << "four beats at 120 BPM";
}

// A pass of the loop is told once its seam is heard, and only when it played from the loop's
// start at one speed: a pass broken by a move or a change of speed is not.
TEST(TrackTimeline, OnlyWholePassesOfTheLoopAreTold) {
    const struct {
        const char* what;
        std::optional<int64_t> seekTo;  // else the speed halves
        int blocksToChange;
        int told;
        double lastSpeed;
    } cases[] = {
        {"left alone", std::nullopt, 1000, 7, 1.0},
        {"a move to A", 12000, 100, 6, 1.0},
        {"a move into the loop", 30000, 100, 6, 1.0},
        {"slowed down in a pass", std::nullopt, 100, 3, 0.5},
    };
    TempDir dir;
    for (const auto& c : cases) {
        VirtualTrack track(toneDecoder(dir, 1.0));
        ASSERT_TRUE(track.decoder);
        track.timeline.setLoop(TrackTimeline::Loop{12000, 36000});
        track.timeline.rewind(true);  // from the track's start into the loop: a whole pass
        int told = 0;
        double lastSpeed = 0;
        std::vector<float> block(2 * 480);
        for (int blocks = 1; blocks <= 400; ++blocks) {  // 4 s
            if (blocks == c.blocksToChange) {
                if (!c.seekTo) {
                    track.timeline.setTuning({0.5, 0, 0});
                }
                const auto lead = 2 * static_cast<size_t>(0.05 * kOutputRate);
                track.timeline.rewrite(track.ring.readCount() + lead, true, c.seekTo);
            }
            track.fillAhead();
            track.ring.readAdding(block.data(), block.size());
            const auto heard =
                track.timeline.takePassesHeard(static_cast<int64_t>(track.ring.readCount() / 2));
            told += heard.count;
            lastSpeed = heard.count > 0 ? heard.fastest : lastSpeed;
        }
        EXPECT_EQ(told, c.told) << c.what;
        EXPECT_EQ(lastSpeed, c.lastSpeed) << c.what;
    }
}

// The click on the song's beats, over a silent track looped on its second bar: each pass sounds
// the bar's four beats, each where the track plays its beat, and a count-in holds the track for
// its own four clicks and adds none of the song's.
TEST(TrackTimeline, TheSongsClickSoundsOnEveryBeatOfEachPass) {
    const struct {
        double speed;
        bool countIn;
    } cases[] = {{0.5, false}, {1.5, false}, {0.5, true}, {1.0, true}};
    BeatGrid grid{{}, 4, 0};
    for (int i = 0; i < 12; ++i) {
        grid.beats.push_back(0.25 + 0.5 * i);
    }
    const TrackTimeline::Loop loop{std::llround(2.25 * kOutputRate),
                                   std::llround(4.25 * kOutputRate)};
    TempDir dir;
    const std::string path = (dir.path() / "silence.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{6.0, 0}}));
    for (const auto& c : cases) {
        std::string error;
        VirtualTrack track(Mp3Decoder::open(path, error));
        ASSERT_TRUE(track.decoder && track.decoder->setOutputRate(kOutputRate, error));
        track.timeline.setTuning({c.speed, 0, 0});
        track.timeline.setGrid(grid);
        track.timeline.setSongClick(TrackTimeline::SongClick{{0.5f, 0.3f, 0.3f, 0.3f}});
        track.timeline.setCountIn(c.countIn ? std::optional(60.0) : std::nullopt);
        track.timeline.setLoop(loop);
        track.timeline.rewind(true);
        track.timeline.rewrite(0, false, loop.from);  // a seek: the first pass is not counted in

        // The beat a pass starts on is heard on time; the stretcher plays the others off their
        // place by its lead, and the click goes with them.
        const double lead = track.render.transientLead() * c.speed / kOutputRate;
        const double passStart = static_cast<double>(loop.from) / kOutputRate;
        int passes = 0, held = 0, onBeat = 0, offBeat = 0;
        int64_t lastLoud = -kOutputRate, lastPosition = loop.from;
        std::vector<float> block(2 * 480);
        for (int blocks = 0; passes < 4 && blocks < 4000; ++blocks) {
            track.fillAhead();
            const auto at = static_cast<int64_t>(track.ring.readCount() / 2);
            std::vector<int64_t> positions;
            for (int64_t i = 0; i < 480; ++i) {
                positions.push_back(track.timeline.positionAt(at + i));
            }
            std::fill(block.begin(), block.end(), 0.0f);
            track.ring.readAdding(block.data(), block.size());
            for (int64_t i = 0; i < 480; ++i) {
                const int64_t position = positions[static_cast<size_t>(i)];
                passes += position < lastPosition ? 1 : 0;
                lastPosition = position;
                if (std::abs(block[2 * static_cast<size_t>(i)]) < 1e-3f) {
                    continue;
                }
                if (at + i - lastLoud > kOutputRate / 50 && passes >= 1 && passes < 4) {
                    const bool holding = track.timeline.positionAt(at + i + 480) == position;
                    const double seconds = static_cast<double>(position) / kOutputRate;
                    const double beat = BeatGrids::snapToBeat(grid, seconds + lead);
                    const double off = std::abs(
                        seconds - (std::abs(beat - passStart) < 1e-3 ? beat : beat - lead));
                    (holding ? held : off < 0.001 * c.speed ? onBeat : offBeat) += 1;
                }
                lastLoud = at + i;
            }
        }
        EXPECT_EQ(passes, 4) << c.speed;
        EXPECT_EQ(onBeat, 3 * 4) << c.speed << (c.countIn ? " counted in" : "");
        EXPECT_EQ(offBeat, 0) << c.speed;
        EXPECT_EQ(held, c.countIn ? 3 * 4 : 0) << c.speed;
    }
}

// Each beat played, and each subdivision the click divides it into, is told where the song's
// click sounds on it, on or off, through the seams.
TEST(TrackTimeline, EachBeatPlayedIsToldWhereItsClickSoundsOnOrOff) {
    BeatGrid grid{{}, 4, 0};
    for (int i = 0; i < 12; ++i) {
        grid.beats.push_back(0.25 + 0.5 * i);
    }
    TempDir dir;
    const std::string path = (dir.path() / "silence.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{6.0, 0}}));
    for (const double speed : {0.5, 1.0, 1.5}) {
        // No click, a click on the beats, a click on the beats and between them.
        std::vector<int64_t> beatsAt[3], halvesAt[3], onsets[3];
        for (const int parts : {0, 1, 2}) {
            std::string error;
            VirtualTrack track(Mp3Decoder::open(path, error));
            ASSERT_TRUE(track.decoder && track.decoder->setOutputRate(kOutputRate, error));
            track.timeline.setTuning({speed, 0, 0});
            track.timeline.setGrid(grid);
            track.timeline.setSongClick(
                parts > 0 ? std::optional(TrackTimeline::SongClick{{0.5f}, parts}) : std::nullopt);
            track.timeline.setLoop(TrackTimeline::Loop{std::llround(2.25 * kOutputRate),
                                                       std::llround(4.25 * kOutputRate)});
            track.timeline.rewind(true);
            track.timeline.rewrite(0, false, std::llround(2.25 * kOutputRate));  // bar 2's one
            int64_t lastLoud = -kOutputRate;
            std::vector<float> block(2 * 480);
            for (int blocks = 0; blocks < std::lround(625 / speed); ++blocks) {  // 3 passes on
                track.fillAhead();
                const auto at = static_cast<int64_t>(track.ring.readCount() / 2);
                std::fill(block.begin(), block.end(), 0.0f);
                track.ring.readAdding(block.data(), block.size());
                for (int64_t i = 0; i < 480; ++i) {
                    if (std::abs(block[2 * static_cast<size_t>(i)]) > 1e-3f) {
                        if (at + i - lastLoud > kOutputRate / 50) {
                            onsets[parts].push_back(at + i -
                                                    1);  // a click's first sample is silent
                        }
                        lastLoud = at + i;
                    }
                }
                for (const auto& beat : track.timeline.takeBeatsPlayed(at + 480)) {
                    auto& told = beat.subdivision == 0 ? beatsAt[parts] : halvesAt[parts];
                    const size_t beatsBefore = beatsAt[parts].size() - (beat.subdivision > 0);
                    const bool inPlace = beat.bar == 2 && beat.clicked == (parts > 0) &&
                                         beat.beatInBar == int(beatsBefore % 4) &&
                                         beat.subdivision < std::max(parts, 1) &&
                                         std::abs(beat.beatSeconds - 0.5 / speed) < 1e-9;
                    EXPECT_TRUE(inPlace) << speed << " beat " << beatsAt[parts].size();
                    told.push_back(beat.streamFrame);
                }
            }
        }
        EXPECT_EQ(beatsAt[1].size(), 13u) << speed;
        EXPECT_EQ(beatsAt[0], beatsAt[1]) << speed;
        EXPECT_EQ(beatsAt[2], beatsAt[1]) << speed;
        EXPECT_EQ(onsets[1], beatsAt[1]) << speed;
        // Each half beat told where its click sounds.
        ASSERT_GE(halvesAt[2].size(), beatsAt[2].size() - 1) << speed;
        std::vector<int64_t> both = beatsAt[2];
        both.insert(both.end(), halvesAt[2].begin(), halvesAt[2].end());
        std::sort(both.begin(), both.end());
        EXPECT_EQ(onsets[2], both) << speed;
    }
}

// Speed and pitch changed while the track plays crossfade in: no click, no gap.
TEST(TrackDecode, ChangesWhilePlayingAreSeamless) {
    TempDir dir;
    VirtualTrack track(toneDecoder(dir, 3.0));
    ASSERT_TRUE(track.decoder);
    track.timeline.rewind(true);
    const TrackTuning changes[] = {{0.7, 0, 0}, {0.7, 3, 0}, {1.0, 0, -20}, {1.0, 0, 0}};
    const Heard heard = hearInTurns(track, 150 * 480, [&](size_t blocks) {
        if (blocks % 30 == 0 && blocks / 30 <= std::size(changes) &&
            track.timeline.setTuning(changes[blocks / 30 - 1])) {
            track.changeWhilePlaying();
        }
    });
    ASSERT_EQ(heard.left.size(), 150 * 480u);
    const std::vector<float> afterOnset(heard.left.begin() + 480, heard.left.end());
    EXPECT_LT(sharpestKink(afterOnset), 0.005f);
    EXPECT_GT(quietestLevel(heard.left), 0.08) << "the tone's level is 0.26";
}

// Slower or faster, the pitch stays; transposed, only the pitch moves; plain, the decoded sound
// goes through untouched.
TEST(TrackDecode, SpeedAndPitchAreIndependent) {
    TempDir dir;
    auto decoder = toneDecoder(dir, 3.0);
    ASSERT_TRUE(decoder);
    const struct {
        TrackTuning tuning;
        double hz;
    } cases[] = {{{0.5, 0, 0}, 440},    {{1.25, 0, 0}, 440},    {{1.0, 2, 0}, 493.88},
                 {{0.75, -12, 0}, 220}, {{1.0, 0, 30}, 447.69}, {{1.0, 0, 0}, 440}};
    TrackRender render(kOutputRate, StretchEngine::Finer);
    render.setDecoder(decoder.get());
    for (const auto& c : cases) {
        render.start(0, c.tuning);
        std::vector<float> out(2 * static_cast<size_t>(2.4 / c.tuning.speed * kOutputRate));
        out.resize(
            2 * static_cast<size_t>(render.render(out.data(), static_cast<int>(out.size() / 2))));
        std::vector<float> left;
        for (size_t i = 0; i < out.size(); i += 2) {
            left.push_back(out[i]);
        }
        EXPECT_NEAR(left.size() * c.tuning.speed / kOutputRate, 2.4, 0.01) << c.hz;
        const std::vector<float> steady(left.begin() + left.size() / 3,
                                        left.begin() + left.size() / 3 + 9600);
        EXPECT_NEAR(centsBetween(estimatePitch(steady, kOutputRate, 100), c.hz), 0, 2)
            << c.hz << " at " << c.tuning.speed;
        if (c.tuning.plain()) {
            decoder->seek(0);
            const std::vector<float> decoded = decodeLeft(*decoder);
            // The rate converter's float output varies by a few 1e-7 with the sizes it is read in:
            // the stretcher would change far more.
            float most = 0;
            for (size_t i = 0; i < left.size(); ++i) {
                most = std::max(most, std::abs(left[i] - decoded[i]));
            }
            EXPECT_LT(most, 1e-6f) << "not as decoded";
        }
    }
}

// A bar of four clicks at the track's tempo times its speed, the first louder, then the track;
// so slow a bar that it would be mostly waiting clicks on the beat's halves or quarters.
TEST(TrackDecode, ACountInClicksABarBeforeTheTrack) {
    const struct {
        double bpm, speed;  // a click a second, either way
    } cases[] = {{120, 0.5}, {30, 0.25}};
    for (const auto& c : cases) {
        TempDir dir;
        VirtualTrack track(toneDecoder(dir, 1.0));
        ASSERT_TRUE(track.decoder);
        track.timeline.setCountIn(c.bpm);
        track.timeline.setTuning({c.speed, 0, 0});
        track.timeline.rewind(true);
        std::vector<float> heard, block(2 * 4800);
        while (heard.size() < 4.5 * kOutputRate) {
            track.fillAhead();
            std::fill(block.begin(), block.end(), 0.0f);
            track.ring.readAdding(block.data(), block.size());
            for (size_t i = 0; i < block.size(); i += 2) {
                heard.push_back(block[i]);
            }
        }
        const auto levelAt = [&](double from, double to) {
            float level = 0;
            for (auto i = static_cast<size_t>(from * kOutputRate); i < to * kOutputRate; ++i) {
                level = std::max(level, std::abs(heard[i]));
            }
            return level;
        };
        const float accent = levelAt(0, 0.03);
        EXPECT_GT(accent, 0.2f) << c.bpm;
        for (double beat : {1.0, 2.0, 3.0}) {
            EXPECT_LT(levelAt(beat - 0.97, beat - 0.01), 1e-6f) << c.bpm << ": between the clicks";
            EXPECT_GT(levelAt(beat, beat + 0.03), 0.2f * accent) << c.bpm << ": " << beat;
            EXPECT_LT(levelAt(beat, beat + 0.03), accent) << c.bpm << ": " << beat;
        }
        EXPECT_LT(levelAt(3.1, 3.99), 1e-6f) << c.bpm;
        EXPECT_GT(levelAt(4.01, 4.5), 0.2f) << c.bpm << ": the track after the bar";
    }
}

}  // namespace
