#include "common/TrackKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

}  // namespace

TEST(TrackKeyTest, NamesTheContentNotThePlace) {
    const fs::path dir = fs::temp_directory_path() / "rz77-track-key";
    fs::create_directories(dir);
    std::string track(3 << 20, '\0');
    for (size_t i = 0; i < track.size(); ++i) track[i] = static_cast<char>(i * 7919 % 251);
    const auto original = trackKey(writeFile(dir / "song.mp3", track));
    ASSERT_TRUE(original);
    EXPECT_EQ(trackKey(writeFile(dir / "moved.flac", track)), original);

    struct Change {
        const char* what;
        size_t at;
    };
    for (const Change change : {Change{"first byte", 0}, Change{"last byte", track.size() - 1},
                                Change{"in the last megabyte", track.size() - 1000}}) {
        std::string changed = track;
        changed[change.at] ^= 1;
        EXPECT_NE(trackKey(writeFile(dir / "changed", changed)), original) << change.what;
    }
    EXPECT_NE(trackKey(writeFile(dir / "longer", track + '\0')), original);
    EXPECT_TRUE(trackKey(writeFile(dir / "empty", "")));
    EXPECT_NE(trackKey(writeFile(dir / "short", "abc")), trackKey(writeFile(dir / "other", "abd")));
    EXPECT_FALSE(trackKey((dir / "missing").string()));
    fs::remove_all(dir);
}
