#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TempDir.h"
#include "mp3/RotateText.h"
#include "mp3/cMp3.h"

namespace {

namespace fs = std::filesystem;

const std::string kAudio = std::string("\xFF\xFB\x90\x00", 4) + std::string(300, '\x55');

std::string padded(std::string value, std::size_t width, char fill = ' ') {
    value.resize(width, fill);
    return value;
}

// A tag block of 128 bytes: marker, the five fields at their widths, genre.
std::string tag(const std::string& title, const std::string& artist = "",
                const std::string& album = "", const std::string& year = "",
                const std::string& comment = "", const std::string& marker = "TAG",
                char fill = ' ') {
    return marker + padded(title, 30, fill) + padded(artist, 30, fill) + padded(album, 30, fill) +
           padded(year, 4, fill) + padded(comment, 30, fill) + "\x11";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Values {
    std::string title, artist, album, year, comment;
    bool exists;
};

Values valuesOf(const cMp3& mp3) {
    return {mp3.Title(), mp3.Artist(), mp3.Album(), mp3.Year(), mp3.Comment(), mp3.TagExists()};
}

void expectValues(const cMp3& mp3, const Values& expected, const std::string& what) {
    const Values got = valuesOf(mp3);
    EXPECT_EQ(got.title, expected.title) << what;
    EXPECT_EQ(got.artist, expected.artist) << what;
    EXPECT_EQ(got.album, expected.album) << what;
    EXPECT_EQ(got.year, expected.year) << what;
    EXPECT_EQ(got.comment, expected.comment) << what;
    EXPECT_EQ(got.exists, expected.exists) << what;
}

const Values kNone{"", "", "", "", "", false};

TEST(cMp3, ReadsTheTagsOfFiles) {
    const std::string nulTitle = std::string("Riff") + std::string(26, '\0');
    const std::string block = tag("Riff", "Band", "Record", "1999", "fine", "tag");
    // "TAG" inside the block but not at its start, with non-blank bytes after the first three.
    const std::string elsewhere = "xyz" + padded("Title TAG", 30) + std::string(94, 'a') + '\0';
    const struct {
        const char* what;
        std::string bytes;
        Values expected;
    } cases[] = {
        {"tagged",
         kAudio + tag("Riff", " Band", "Record", "1999", "fine"),
         {"Riff", " Band", "Record", "1999", "fine", true}},
        {"untagged", kAudio + std::string(128, '\x55'), kNone},
        {"exactly a tag", tag("Solo"), {"Solo", "", "", "", "", true}},
        {"NUL-filled title",
         kAudio + "TAG" + nulTitle + std::string(94, ' ') + '\0',
         {nulTitle, "", "", "", "", true}},
        {"lower-case marker", kAudio + block, kNone},
        {"marker elsewhere",
         kAudio + elsewhere,
         {"Title TAG", std::string(30, 'a'), std::string(30, 'a'), "aaaa", std::string(30, 'a'),
          true}},
        {"blank tag", kAudio + tag(""), kNone},
        {"two-digit year", kAudio + tag("Riff", "", "", "99"), {"Riff", "", "", "99", "", true}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        cMp3 mp3;
        mp3.LoadMp3File(dir.write("song.mp3", c.bytes));
        expectValues(mp3, c.expected, c.what);
    }
}

TEST(cMp3, FailedOrEmptyLoadsKeepThePreviousTag) {
    TempDir dir;
    cMp3 mp3;
    expectValues(mp3, kNone, "new object");
    mp3.LoadMp3File(dir.write("a.mp3", kAudio + tag("Riff", "Band")));
    const Values first{"Riff", "Band", "", "", "", true};

    mp3.LoadMp3File("");
    expectValues(mp3, first, "empty path");
    EXPECT_THROW(mp3.LoadMp3File(dir.write("short.mp3", std::string(127, 'T'))),
                 std::runtime_error);
    expectValues(mp3, first, "127 bytes");
    EXPECT_THROW(mp3.LoadMp3File((dir.path() / "missing.mp3").string()), std::system_error);
    EXPECT_THROW(mp3.LoadMp3File(dir.str()), std::runtime_error);
    expectValues(mp3, first, "missing file and a folder");
    EXPECT_THROW(mp3.CloseMp3File(), std::runtime_error) << "the folder is the path now";
}

TEST(cMp3, WritesTheTagBackInPlace) {
    TempDir dir;
    const std::string original = kAudio + tag("Riff", "Band", "Record", "99", "", "TAG", '\0');
    const std::string path = dir.write("song.mp3", original);
    cMp3 mp3;
    mp3.LoadMp3File(path);
    mp3.CloseMp3File();
    EXPECT_EQ(readAll(path), original) << "fill bytes and the genre byte kept";

    mp3.Title("New title");
    mp3.Year("2001");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    mp3.CloseMp3File();
    EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
    const std::string written = readAll(path);
    ASSERT_EQ(written.size(), original.size());
    EXPECT_EQ(written.substr(kAudio.size() + 3, 30), padded("New title", 30));
    EXPECT_EQ(written.substr(kAudio.size() + 93, 4), "2001");
    EXPECT_EQ(written.back(), '\x11');
    EXPECT_TRUE(mp3.TagExists());
}

TEST(cMp3, RefusesOverlongValuesWithoutTouchingTheFile) {
    TempDir dir;
    const std::string original = kAudio + tag("Riff");
    const std::string path = dir.write("song.mp3", original);
    for (auto set :
         {+[](cMp3& m) { m.Title(std::string(31, 'x')); },
          +[](cMp3& m) { m.Comment(std::string(31, 'x')); }, +[](cMp3& m) { m.Year("19999"); }}) {
        cMp3 mp3;
        mp3.LoadMp3File(path);
        mp3.Artist("Changed before the bad value");
        set(mp3);
        EXPECT_THROW(mp3.CloseMp3File(), std::invalid_argument);
        EXPECT_EQ(readAll(path), original);
    }
}

TEST(cMp3, AppendsATagToAnUntaggedFile) {
    TempDir dir;
    const std::string audio = kAudio + std::string(200, '\x66');
    const std::string path = dir.write("song.mp3", audio);
    cMp3 mp3;
    mp3.LoadMp3File(path);
    mp3.Title("Riff");
    mp3.Artist("Band");
    mp3.CloseMp3File();
    const std::string written = readAll(path);
    ASSERT_EQ(written.size(), audio.size() + 128);
    EXPECT_EQ(written.substr(0, audio.size()), audio);
    EXPECT_EQ(written.substr(audio.size()), tag("Riff", "Band").substr(0, 127) + "\xFF");
    EXPECT_TRUE(mp3.TagExists());

    cMp3 reread;
    reread.LoadMp3File(path);
    expectValues(reread, {"Riff", "Band", "", "", "", true}, "appended tag read back");
}

TEST(RotateText, MovesTheFirstCharacterToTheEnd) {
    EXPECT_EQ(RotateText("abc"), "bca");
    EXPECT_EQ(RotateText(" a"), "a ");
    EXPECT_EQ(RotateText("x"), "x");
    EXPECT_THROW(RotateText(""), std::invalid_argument);
}

}  // namespace
