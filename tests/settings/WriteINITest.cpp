#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <system_error>

#include "TempDir.h"
#include "settings/INIReadWrite.h"

namespace fs = std::filesystem;
using INIReadWrite::ReadINI;
using INIReadWrite::WriteINI;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Write {
    std::string section, key, value;
};

struct WriteCase {
    const char* name;
    std::optional<std::string> initial;  // none: no file
    std::vector<Write> writes;
    std::string expected;
    friend void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
};

class WriteINICases : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteINICases, GivesTheFile) {
    const WriteCase& c = GetParam();
    TempDir dir;
    const std::string path = (dir.path() / "rz77.rz").string();
    if (c.initial) {
        dir.write("rz77.rz", *c.initial);
    }
    for (const Write& w : c.writes) {
        WriteINI(w.section, w.key, w.value, path);
    }
    EXPECT_EQ(fileBytes(path), c.expected);
}

const Write kDevice3{"Device", "ID", "3"};

const WriteCase kCases[] = {
    {"MissingFile", std::nullopt, {{"Device", "ID", "-1"}}, "[device]\r\nid=-1\r\n"},
    {"OkOnAMissingFile",
     std::nullopt,
     {{"Device", "ID", "-1"}, {"Sound", "ID", "0"}, {"Channel", "ID", "1"}},
     "[device]\r\nid=-1\r\n[sound]\r\nid=0\r\n[channel]\r\nid=1\r\n"},
    {"EmptyFile", "", {kDevice3}, "[device]\r\nid=3\r\n"},
    {"ReplacesAndEndsEveryLine", "[device]\r\nid=0\r\nx", {kDevice3}, "[device]\r\nid=3\r\nx\r\n"},
    {"EntryInOtherCaseWithSpaces", "[device]\r\n  ID=0\r\n", {kDevice3}, "[device]\r\nid=3\r\n"},
    {"KeyFoundAsSubstring", "[device]\r\nvalid=1\r\n", {kDevice3}, "[device]\r\nid=3\r\n"},
    {"SpaceBeforeEqualsIsNoEntry",
     "[device]\r\nID = 0\r\n",
     {kDevice3},
     "[device]\r\nid=3\r\nID = 0\r\n"},
    {"HeaderWithMoreGrowsByOneLinePerWrite",
     "[device] ; midi\r\nid=0\r\n",
     {{"device", "id", "4"}, kDevice3},
     "[device] ; midi\r\nid=3\r\nid=4\r\nid=0\r\n"},
    {"SectionTwiceWithoutKeyInsertsAfterTheLater",
     "[device]\r\n[sound]\r\n[device]\r\nx\r\n",
     {kDevice3},
     "[device]\r\n[sound]\r\n[device]\r\nid=3\r\nx\r\n"},
    {"SectionTwiceKeyInTheFirst",
     "[device]\r\nid=1\r\n[device]\r\nname=a\r\n",
     {kDevice3},
     "[device]\r\nid=3\r\n[device]\r\nname=a\r\n"},
    {"SectionTwiceLastKeyReplaced",
     "[device]\r\nid=1\r\n[device]\r\nid=2\r\n",
     {kDevice3},
     "[device]\r\nid=1\r\n[device]\r\nid=3\r\n"},
    {"OtherSectionKeptNewOneAppended",
     "[sound]\r\nid=2\r\n",
     {kDevice3},
     "[sound]\r\nid=2\r\n[device]\r\nid=3\r\n"},
    {"CarriageReturnAloneEndsALine", "[device]\rid=0\r", {kDevice3}, "[device]\r\nid=3\r\n"},
    {"LineFeedAloneStaysInTheLine", "[device]\nid=0\n", {kDevice3}, "[device]\nid=0\n\r\nid=3\r\n"},
    {"ArgumentsTrimmedAndLowerCased",
     std::nullopt,
     {{" Device ", " ID", " MiXed "}},
     "[device]\r\nid=mixed\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, WriteINICases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriteINI, NumbersRoundTripThroughTheReaderAndThePathKeepsItsCase) {
    TempDir dir;
    const std::string lower = (dir.path() / "rz77.rz").string();
    const std::string upper = (dir.path() / "RZ77.rz").string();
    WriteINI("Device", "ID", -1L, lower);
    WriteINI("Sound", "ID", 127L, lower);
    WriteINI("Device", "ID", 2L, lower);
    WriteINI("Device", "ID", 5L, upper);
    EXPECT_EQ(ReadINI("Device", "ID", lower), "2");
    EXPECT_EQ(ReadINI("Sound", "ID", lower), "127");
    EXPECT_EQ(ReadINI("Device", "ID", upper), "5");
}

TEST(WriteINI, LetsEventsRunPerLineReadScannedAndReplaced) {
    struct Case {
        const char* initial;
        int pumps;
    };
    const Case cases[] = {
        {"[device]\r\nid=0\r\nx\r\n", 3 + 3 + 3 + 3},  // read, outer scan, section scan, written
        {"[device]\r\nx\r\n", 2 + 2 + 2},              // inserted: no events while writing
        {"[sound]\r\n", 1 + 1},
        {"", 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        int pumps = 0;
        WriteINI("device", "id", "3", dir.write("rz77.rz", c.initial), [&pumps] { ++pumps; });
        EXPECT_EQ(pumps, c.pumps) << c.initial;
    }
}

TEST(WriteINI, RefusesASecondWriteOfTheSameFileFromItsEvents) {
    TempDir dir;
    const std::string path = dir.write("rz77.rz", "[device]\r\nid=0\r\n");
    int refused = 0;
    WriteINI("device", "id", "1", path, [&] {
        try {
            WriteINI("sound", "id", "2", path);
        } catch (const std::runtime_error&) {
            ++refused;
        }
    });
    EXPECT_GT(refused, 0);
    EXPECT_EQ(fileBytes(path), "[device]\r\nid=1\r\n");
}

TEST(WriteINI, WritesLongFilesWholeAndRefusesOnesTheReaderWouldNotRead) {
    TempDir dir;
    std::string manyLines;
    for (int i = 0; i < 20000; ++i) {
        manyLines += "line " + std::to_string(i) + "\r\n";
    }
    const std::string path = dir.write("rz77.rz", manyLines);
    WriteINI("device", "id", "3", path);
    EXPECT_EQ(fileBytes(path), manyLines + "[device]\r\nid=3\r\n");

    const std::string huge = std::string(1024 * 1024 + 1, 'x');
    dir.write("rz77.rz", huge);
    EXPECT_THROW(WriteINI("device", "id", "4", path), std::runtime_error);
    EXPECT_EQ(fileBytes(path), huge);
}

// Runs body in a child process and returns its exit status.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WriteINI, ReadOnlyFolderThrowsAndLeavesTheFile) {
    TempDir dir;
    const std::string old = "[device]\r\nid=0\r\n";
    const std::string path = dir.write("rz77.rz", old);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    const int status = inChild([&] {
        // Root writes anywhere: test as an ordinary user, for whom the folder is not writable.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return 3;
        }
        try {
            WriteINI("device", "id", "3", path);
        } catch (const std::system_error&) {
            return 0;
        }
        return 1;
    });
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fileBytes(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A child rewrites the file in a loop and is killed at a random moment, 200 times over: the file
// is always there and always holds one whole version.
TEST(WriteINI, SurvivesAKillAtAnyMoment) {
    TempDir dir;
    const std::string path = dir.write("rz77.rz", "[device]\r\nid=1\r\n[sound]\r\nid=9\r\n");
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayMicroseconds(0, 3000);
    for (int round = 0; round < 200; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            for (long value = 1;; value = 3 - value) {
                WriteINI("Device", "ID", value, path);
                (void)!::write(ready[1], "w", 1);
            }
        }
        char signal = 0;
        ASSERT_EQ(::read(ready[0], &signal, 1), 1);
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);

        const std::string device = ReadINI("device", "id", path);
        ASSERT_TRUE(device == "1" || device == "2") << "round " << round << ": " << device;
        ASSERT_EQ(fileBytes(path), "[device]\r\nid=" + device + "\r\n[sound]\r\nid=9\r\n");
    }
}

}  // namespace
