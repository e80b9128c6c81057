#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <vector>

#include "TempDir.h"
#include "coach/TakeMix.h"

namespace {

constexpr int kRate = 48000;

std::vector<float> readAll(const std::string& path, SF_INFO& info) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

void record(Coach::TakeRecorder& recorder, const std::vector<float>& take) {
    constexpr size_t kBlock = 960;  // as the capture stream hands them over
    for (size_t at = 0; at < take.size(); at += kBlock) {
        recorder.write(&take[at], std::min(kBlock, take.size() - at));
    }
}

}  // namespace

// A silent take with a one-sample pluck per note, heard late by the correction: in the mix each
// click starts on its position's sample and each note sounds its offset after it.
TEST(TakeMix, PutsEachClickAndNoteWhereTheReportMeasuredThem) {
    struct Position {
        bool heard, accent;
        int subdivision;
        int offsetSamples;  // the note's offset from it
    };
    const Position positions[] = {{true, true, 0, 480},   {true, false, 1, -240},
                                  {true, false, 0, 120},  {false, false, 0, 960},
                                  {true, false, 0, -480}, {true, false, 1, 48}};
    for (const double correctionMs : {0.0, 7.3, 25.0, -4.0}) {
        SCOPED_TRACE(correctionMs);
        const int64_t shift = std::llround(correctionMs / 1000 * kRate);
        TempDir dir;
        Coach::TakeRecorder recorder(kRate, 60 * kRate);
        std::string error;
        ASSERT_TRUE(recorder.start(dir.str() + "/take.wav", error)) << error;
        std::vector<float> take(5 * kRate, 0.0f);
        std::vector<int64_t> clicks, notes;
        for (size_t i = 0; i < std::size(positions); ++i) {
            const Position& p = positions[i];
            const int64_t at = 57600 + 24000 * int64_t(i);
            recorder.mark({double(at) / kRate, 0, int(i), p.subdivision, p.heard, p.accent},
                          i == 0);
            take[size_t(at + p.offsetSamples + shift)] = 0.9f;
            if (p.heard) {
                clicks.push_back(at);
            }
            notes.push_back(at + p.offsetSamples);
        }
        record(recorder, take);
        const auto recorded = recorder.finish();

        Coach::TakeMix mix;
        const std::string mixPath = dir.str() + "/mix.wav";
        ASSERT_TRUE(Coach::renderTakeMix(recorded, correctionMs / 1000, mixPath, mix, error));
        SF_INFO info{};
        const auto stereo = readAll(mixPath, info);
        ASSERT_EQ(info.channels, 2);
        ASSERT_EQ(info.frames, mix.frames);
        EXPECT_EQ(mix.firstFrame, 57600 - kRate);  // a second before the first click
        std::vector<int64_t> foundClicks, foundNotes;
        int64_t lastSound = -kRate;
        for (int64_t i = 0; i < info.frames; ++i) {
            const float left = stereo[2 * size_t(i)];
            ASSERT_EQ(left, stereo[2 * size_t(i) + 1]);
            if (left > 0.6f) {
                foundNotes.push_back(mix.firstFrame + i);
            } else if (std::abs(left) > 0.1f && i - lastSound > 40) {
                foundClicks.push_back(mix.firstFrame + i);  // a tick out of silence
            }
            lastSound = left != 0.0f ? i : lastSound;
        }
        EXPECT_EQ(foundClicks, clicks);
        EXPECT_EQ(foundNotes, notes);
    }
}

// The file is closed whole however the take ends: the capture stopped mid-take, or the longest
// take reached (the grid past its end let go); a fresh run of the grid begins the take anew.
TEST(TakeRecorder, ClosesABoundedTakeWhereverItStops) {
    struct Case {
        const char* name;
        int fedFrames;
        int64_t frames;
        Coach::RecordedTake::Ending ending;
    };
    const Case cases[] = {
        {"stopped mid-take", 14400, 14400, Coach::RecordedTake::Ending::Stopped},
        {"past the longest", 48000, 24000, Coach::RecordedTake::Ending::Full},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Coach::TakeRecorder recorder(kRate, 24000);
        std::string error;
        ASSERT_TRUE(recorder.start(dir.str() + "/take.wav", error)) << error;
        std::vector<float> take(size_t(c.fedFrames));
        for (size_t i = 0; i < take.size(); ++i) {
            take[i] = float(std::sin(0.01 * double(i)));
        }
        for (const auto& [at, begins] :
             {std::pair{0.1, true}, {0.2, false}, {0.25, true}, {0.28, false}, {0.55, false}}) {
            recorder.mark({at, 0, 0, 0, true, false}, begins);
        }
        record(recorder, take);
        const auto recorded = recorder.finish();
        EXPECT_EQ(recorded.ending, c.ending);
        EXPECT_EQ(recorded.frames, c.frames);
        std::vector<double> kept;
        for (const auto& point : recorded.grid) {
            kept.push_back(point.at);
        }
        EXPECT_EQ(kept, (std::vector<double>{0.25, 0.28}));  // 0.55 s is past the file's end
        SF_INFO info{};
        const auto samples = readAll(recorded.path, info);
        ASSERT_EQ(info.frames, c.frames);
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), take.begin()));
    }
}
