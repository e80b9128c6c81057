#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "settings/INIReadWrite.h"

namespace fs = std::filesystem;
using INIReadWrite::ReadINI;

namespace {

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::string expected;
    friend void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }
};

class ReadINICases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadINICases, FindsTheValue) {
    const ReadCase& c = GetParam();
    TempDir dir;
    EXPECT_EQ(ReadINI(c.section, c.key, dir.write("rz77.rz", c.file)), c.expected);
}

const ReadCase kCases[] = {
    // Headers
    {"UpperCaseHeader", "[DEVICE]\r\nid=3\r\n", "Device", "ID", "3"},
    {"MixedCaseHeader", "[Device]\r\nid=3\r\n", "Device", "ID", "3"},
    {"HeaderWithSpaces", "   [device]   \r\nid=3\r\n", "Device", "ID", "3"},
    {"HeaderWithTrailingText", "[device] x\r\nid=3\r\n", "Device", "ID", ""},
    {"HeaderWithoutBracketIsCutShort", "[device\r\nid=3\r\n", "Device", "ID", ""},
    {"TextBeforeBracketCountsInLength", "ab[device]\r\nid=3\r\n", "Device", "ID", ""},
    {"SecondHeaderOfSameNameNeverReached", "[device]\r\n[x]\r\n[device]\r\nid=3\r\n", "device",
     "id", ""},
    {"LoneBracketLineIsSkipped", "[\r\n[device]\r\nid=5\r\n", "device", "id", "5"},
    {"OtherSectionFirst", "[sound]\r\nid=1\r\n[device]\r\nid=2\r\n", "device", "id", "2"},
    // Keys
    {"UpperCaseKey", "[device]\r\nID=3\r\n", "device", "id", "3"},
    {"SpacesAroundEqualsBreakTheKey", "[device]\r\nid = 3\r\n", "device", "id", ""},
    {"ValueTrimmed", "[device]\r\nid=   7   \r\n", "device", "id", "7"},
    {"ValueKeepsFurtherEquals", "[device]\r\nid=a=b\r\n", "device", "id", "a=b"},
    {"EmptyValue", "[device]\r\nid=\r\n", "device", "id", ""},
    {"ValueKeepsCase", "[device]\r\nid=MiXed\r\n", "device", "id", "MiXed"},
    {"TabStaysInValue", "[device]\r\nid=\t4\r\n", "device", "id", "\t4"},
    {"FirstMatchingEntryWins", "[device]\r\nid=1\r\nid=2\r\n", "device", "id", "1"},
    {"OtherLinesIgnored", "[device]\r\nnoise\r\nname=x\r\nid=9\r\n", "device", "id", "9"},
    {"KeyBeforeAnyHeader", "id=4\r\n[device]\r\n", "device", "id", ""},
    // Section ends
    {"NextHeaderEndsTheSection", "[device]\r\n[sound]\r\nid=2\r\n", "device", "id", ""},
    {"BracketInValueEndsTheSection", "[device]\r\nid=2]\r\n", "device", "id", ""},
    {"LoneBracketReturnsToHeaderSearch", "[device]\r\n[\r\n[device]\r\nid=6\r\n", "device", "id",
     ""},
    {"LoneBracketInHeaderSearchIsHarmless", "[device]\r\n[\r\n[sound]\r\nid=6\r\n", "sound", "id",
     "6"},
    {"LoneBracketEndsLaterKeySearches", "[b]\r\n[\r\n[x]\r\n[b]\r\nid=1\r\n", "b", "id", ""},
    // Line ends
    {"CarriageReturnAloneEndsLine", "[device]\rid=8\r", "device", "id", "8"},
    {"LastLineUnterminated", "[device]\r\nid=8", "device", "id", "8"},
    {"LineFeedsAloneMakeOneLine", "[device]\nid=3\n", "device", "id", ""},
    {"EmptyFile", "", "device", "id", ""},
    // The three settings as the program writes them
    {"WrittenDevice", "[device]\r\nid=-1\r\n[sound]\r\nid=0\r\n[channel]\r\nid=1\r\n", "Device",
     "ID", "-1"},
    {"WrittenSound", "[device]\r\nid=-1\r\n[sound]\r\nid=0\r\n[channel]\r\nid=1\r\n", "Sound", "ID",
     "0"},
    {"WrittenChannel", "[device]\r\nid=-1\r\n[sound]\r\nid=0\r\n[channel]\r\nid=1\r\n", "Channel",
     "ID", "1"},
    {"Latin1SectionName", "[\xC4RGER]\r\nid=1\r\n", "\xE4rger", "id", "1"},
};

INSTANTIATE_TEST_SUITE_P(Table, ReadINICases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadINI, MissingFileGivesEmptyAndCreatesNothing) {
    TempDir dir;
    const std::string path = (dir.path() / "rz77.rz").string();
    EXPECT_EQ(ReadINI("Device", "ID", path), "");
    EXPECT_FALSE(fs::exists(path));
}

TEST(ReadINI, DirectoryIsNotASettingsFile) {
    TempDir dir;
    fs::create_directory(dir.path() / "rz77.rz");
    EXPECT_EQ(ReadINI("Device", "ID", (dir.path() / "rz77.rz").string()), "");
}

TEST(ReadINI, LeavesTheFileUnchanged) {
    TempDir dir;
    const std::string content = "[Device]\r\nID = 1\r\nid=2\r\n";
    const std::string path = dir.write("rz77.rz", content);
    EXPECT_EQ(ReadINI("device", "id", path), "2");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
}

}  // namespace

namespace {

// Start-up reads at most the first megabyte, so a huge file cannot stall it; a line cut by that
// limit is not read at all rather than read short.
TEST(ReadINI, ReadsNoFurtherThanTheFirstMegabyte) {
    struct Case {
        size_t entryStart;  // where "id=12345" begins
        const char* expected;
    };
    const std::string header = "[device]\r\n";
    const std::string entry = "id=12345\r\n";
    const size_t limit = 1024 * 1024;
    const Case cases[] = {
        {limit - entry.size(), "12345"},  // ends exactly at the limit
        {limit - 5, ""},                  // "id=12" inside, the rest beyond
        {limit + 100, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string filler(c.entryStart - header.size() - 2, 'x');
        const std::string tail(1000, 'y');
        const std::string path =
            dir.write("rz77.rz", header + filler + "\r\n" + entry + tail + "\r\n");
        EXPECT_EQ(ReadINI("device", "id", path), c.expected) << c.entryStart;
    }
}

}  // namespace
