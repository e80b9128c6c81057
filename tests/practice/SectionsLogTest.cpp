// A track's sections and the practice log through their files: what is written comes back, and
// a file that cannot be read is kept aside rather than overwritten.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "practice/PracticeCounter.h"
#include "practice/PracticeLog.h"
#include "practice/SectionList.h"

namespace {

std::string bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

// Edits keep ids: a deleted section's id is not given again, even after the file is read back.
TEST(SectionList, EditsRoundTripAndIdsAreNeverGivenTwice) {
    TempDir dir;
    const std::string path = (dir.path() / "tracks" / "key.sections").string();
    SectionList list;
    list.add({0, "Intro", 0.25, 12.5, std::nullopt, std::nullopt});
    list.add({0, "Chorus\tpart", 40.125, 55, 80, -2});
    list.add({0, "Solo", 61.1, 1.0 / 3 + 70, 65, std::nullopt});
    list.rename(0, "Intro riff\n");
    EXPECT_FALSE(list.move(0, -1));
    EXPECT_TRUE(list.move(1, 1));  // Intro, Solo, Chorus
    list.remove(2);
    SectionsFile::save(path, list);

    const auto loaded = SectionsFile::load(path);
    ASSERT_EQ(loaded.state, SectionsFile::Loaded::State::Read);
    ASSERT_EQ(loaded.list.sections(), list.sections());
    EXPECT_EQ(loaded.list[0].name, "Intro riff ");
    EXPECT_EQ(loaded.list[1].b, 1.0 / 3 + 70) << "times come back to the bit";
    SectionList again = loaded.list;
    EXPECT_EQ(again[again.add({0, "Bridge", 1, 2, {}, {}})].id, 4);
    EXPECT_EQ(SectionsFile::load((dir.path() / "none").string()).state,
              SectionsFile::Loaded::State::Missing);
}

// A file that is not this version's, whole and well formed, is renamed aside with its bytes,
// each under a name of its own.
TEST(SectionsFile, DamagedAndNewerFilesAreKeptAside) {
    using State = SectionsFile::Loaded::State;
    const std::string good = "rz77-sections 1\nnext 3\n1\t1\t2\t-\t-\tA\n";
    const struct {
        std::string bytes;
        State state;
        const char* aside;
    } cases[] = {
        {"rz77-sections 2\nsomething new\n", State::Newer, "newer"},
        {"rz77-sections 12\n", State::Newer, "newer-2"},
        {"", State::Damaged, "damaged"},
        {good.substr(0, good.size() - 3), State::Damaged, "damaged-2"},  // cut short
        {"rz77-sections 1\n1\t1\t2\t-\t-\tA\n", State::Damaged, "damaged-3"},
        {"rz77-sections 1\nnext 3\n1\t2\t1\t-\t-\tA\n", State::Damaged, "damaged-4"},
        {"rz77-sections 1\nnext 3\n1\tnan\t2\t-\t-\tA\n", State::Damaged, "damaged-5"},
        {"rz77-sections 1\nnext 3\n1\t1\t2\t200\t-\tA\n", State::Damaged, "damaged-6"},
        {"rz77-sections 1\nnext 3\n1\t1\t2\t-\t-\tA\n1\t3\t4\t-\t-\tB\n", State::Damaged,
         "damaged-7"},
        {"rz77-sections 1\nnext 3\n1\t1\t2\t-\tA\n", State::Damaged, "damaged-8"},
        {"\xff\xfe junk", State::Damaged, "damaged-9"},
    };
    TempDir dir;
    const auto path = dir.path() / "key.sections";
    for (const auto& c : cases) {
        write(path, c.bytes);
        const auto loaded = SectionsFile::load(path.string());
        EXPECT_EQ(loaded.state, c.state) << c.aside;
        EXPECT_TRUE(loaded.list.empty()) << c.aside;
        EXPECT_EQ(loaded.keptAs, path.string() + "." + c.aside);
        EXPECT_EQ(bytesOf(loaded.keptAs), c.bytes) << c.aside;
        EXPECT_FALSE(std::filesystem::exists(path)) << c.aside;
    }
    write(path, good);
    EXPECT_EQ(SectionsFile::load(path.string()).state, State::Read);
}

// Sessions come back as written, names with commas and quotes included; other tracks' lines and
// damaged lines are passed over; a day adds its sessions up.
TEST(PracticeLog, SessionsRoundTripAndAddUpByDay) {
    TempDir dir;
    const std::string path = (dir.path() / "practice-log.csv").string();
    const PracticeSession sessions[] = {
        {"2026-12-01", "k1", 2, 300, 60, "Solo, \"fast\" bit"},
        {"2026-12-01", "k2", 2, 100, 90, "Other track"},
        {"2026-12-01", "k1", 2, 120, 70, "Solo"},
        {"2026-12-01", "k1", 1, 50, std::nullopt, "Intro"},
        {"2026-12-03", "k1", 2, 200, std::nullopt, "Solo"},
    };
    for (const auto& s : sessions) {
        PracticeLog::append(path, s);
    }
    std::ofstream(path, std::ios::app) << "2026-12-04,k1,2,10,abc,\"x\"\n2026-12-0,k1,2,1,1,x\n"
                                       << "2026-12-05,k1,2,20,75,\"open quote\n";
    PracticeLog::append(path, {"2026-12-06", "k1", 2, 30, 85, "Solo"});

    const auto read = PracticeLog::read(path, "k1");
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[0], sessions[0]);
    EXPECT_EQ(read[3], sessions[4]);
    EXPECT_EQ(bytesOf(path).substr(0, 39), std::string(PracticeLog::kHeader) + "\n");
    const std::vector<PracticeDay> days = {
        {"2026-12-01", 420, 70}, {"2026-12-03", 200, std::nullopt}, {"2026-12-06", 30, 85}};
    EXPECT_EQ(PracticeLog::daysOf(read, 2), days);
}

// Two writers at once (the lock is taken per open, as two instances of the program take it):
// every line of both is there, whole.
TEST(PracticeLog, WritersAtOnceLoseNoLine) {
    TempDir dir;
    const std::string path = (dir.path() / "practice-log.csv").string();
    std::vector<std::thread> writers;
    for (int writer = 1; writer <= 2; ++writer) {
        writers.emplace_back([&path, writer] {
            for (int i = 0; i < 40; ++i) {
                PracticeLog::append(path, {"2026-12-01", "k", writer, i, i, "w"});
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto read = PracticeLog::read(path, "k");
    ASSERT_EQ(read.size(), 80u);
    for (int writer = 1; writer <= 2; ++writer) {
        int next = 0;
        for (const auto& s : read) {
            if (s.section == writer) {
                EXPECT_EQ(s.seconds, next++) << "writer " << writer << " in its order";
            }
        }
        EXPECT_EQ(next, 40);
    }
}

// Look after look, as the sections page looks once a second: which sessions end, and with what.
TEST(PracticeCounter, SessionsEndWhenTheLoopTheDayOrThePlayingDoes) {
    using Ended = std::optional<PracticeSession>;
    const struct {
        int section;  // 0: no section loops
        bool playing;
        double elapsed;
        int passes;
        double fastest;
        const char* day;
        int minute;
        const char* name;
        Ended ended;
    } looks[] = {
        {1, true, 1, 0, 0, "2026-12-11", 0, "Intro", {}},
        {1, true, 1.2, 2, 0.8, "2026-12-11", 0, "Intro", {}},
        {2, true, 1, 0, 0, "2026-12-11", 0, "Solo",
         PracticeSession{"2026-12-11", "k", 1, 2, 80, "Intro"}},
        {0, true, 1, 0, 0, "2026-12-11", 0, "",
         PracticeSession{"2026-12-11", "k", 2, 1, {}, "Solo"}},
        {1, false, 1, 0, 0, "2026-12-11", 1, "Intro", {}},  // no play, no session
        {1, true, 0.3, 0, 0, "2026-12-11", 1, "Intro", {}},
        {2, true, 1, 1, 0.5, "2026-12-11", 1, "Solo", {}},  // too short a session to log
        {2, false, 1, 0, 0, "2026-12-11", 7, "Solo",
         PracticeSession{"2026-12-11", "k", 2, 1, 50, "Solo"}},
        {2, true, 4, 0, 0, "2026-12-11", 8, "Solo", {}},
        {2, true, 1, 0, 0, "2026-12-12", 8, "Solo!",
         PracticeSession{"2026-12-11", "k", 2, 4, {}, "Solo"}},
    };
    PracticeCounter counter;
    const auto start = PracticeCounter::Clock::now();
    for (const auto& l : looks) {
        PracticeCounter::Look look{
            l.section > 0 ? Ended(PracticeSession{{}, "k", l.section, 0, {}, l.name}) : Ended(),
            l.playing,
            l.elapsed,
            l.passes,
            l.fastest,
            l.day,
            start + std::chrono::minutes(l.minute)};
        EXPECT_EQ(counter.look(look), l.ended) << l.section << " at minute " << l.minute;
    }
    EXPECT_EQ(counter.end(), (PracticeSession{"2026-12-12", "k", 2, 1, {}, "Solo!"}));
    EXPECT_EQ(counter.end(), std::nullopt);
}
