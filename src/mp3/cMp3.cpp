#include "mp3/cMp3.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace {

constexpr const char* kMarker = "TAG";
constexpr std::size_t kMarkerSize = 3;
// An appended tag names no genre.
constexpr char kNoGenre = static_cast<char>(255);

struct Field {
    std::size_t offset;
    std::size_t width;
    const char* name;
};
constexpr Field kTitle{3, 30, "title"};
constexpr Field kArtist{33, 30, "artist"};
constexpr Field kAlbum{63, 30, "album"};
constexpr Field kYear{93, 4, "year"};
constexpr Field kComment{97, 30, "comment"};

std::string withoutTrailingSpaces(const std::string& value) {
    const auto end = value.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

[[noreturn]] void throwFileError(const std::string& what, const std::string& path) {
    const int error = errno != 0 ? errno : EIO;
    throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

void requireTagRoom(std::streamoff length, const std::string& path) {
    if (length < static_cast<std::streamoff>(cMp3::kTagSize)) {
        throw std::runtime_error("\"" + path + "\" is shorter than an ID3v1 tag");
    }
}

void checkWidth(const std::string& value, const Field& field) {
    if (value.size() > field.width) {
        throw std::invalid_argument("the " + std::string(field.name) + " is longer than " +
                                    std::to_string(field.width) + " characters");
    }
}

void place(std::string& tag, const std::string& value, const Field& field) {
    tag.replace(field.offset, value.size(), value);
}

std::streamoff lengthOf(std::istream& file) {
    file.seekg(0, std::ios::end);
    return file.tellg();
}

}  // namespace

void cMp3::LoadMp3File(const std::string& valPath) {
    FilePath = valPath;
    if (valPath.empty()) {
        return;
    }
    errno = 0;
    std::ifstream file(valPath, std::ios::binary);
    if (!file) {
        throwFileError("cannot open", valPath);
    }
    const std::streamoff length = lengthOf(file);
    if (length < 0) {
        throwFileError("cannot read", valPath);
    }
    requireTagRoom(length, valPath);
    std::string block(kBlockSize, '\0');
    file.seekg(length - static_cast<std::streamoff>(kTagSize));
    file.read(block.data(), static_cast<std::streamsize>(kBlockSize));
    if (file.gcount() != static_cast<std::streamsize>(kBlockSize)) {
        throwFileError("cannot read", valPath);
    }

    TagBlock = block;
    TagWritten = false;
    const bool tagged = TagExists();
    const auto cut = [&](const Field& f) {
        return tagged ? TagBlock.substr(f.offset, f.width) : "";
    };
    m_artist = cut(kArtist);
    m_title = cut(kTitle);
    m_album = cut(kAlbum);
    m_comment = cut(kComment);
    m_year = cut(kYear);
}

bool cMp3::TagExists() const {
    if (TagBlock.find(kMarker) == std::string::npos && !TagWritten) {
        return false;
    }
    return TagBlock.find_first_not_of(' ', kMarkerSize) != std::string::npos;
}

std::string cMp3::tagBytes() const {
    std::string tag(kTagSize, ' ');
    tag.replace(0, kMarkerSize, kMarker);
    place(tag, m_title, kTitle);
    place(tag, m_artist, kArtist);
    place(tag, m_album, kAlbum);
    place(tag, m_year, kYear);
    place(tag, m_comment, kComment);
    tag.back() = kNoGenre;
    return tag;
}

void cMp3::CloseMp3File() {
    // Every width is checked first, so a refused write leaves the file untouched.
    checkWidth(m_title, kTitle);
    checkWidth(m_artist, kArtist);
    checkWidth(m_album, kAlbum);
    checkWidth(m_year, kYear);
    checkWidth(m_comment, kComment);
    if (FilePath.empty()) {
        throw std::runtime_error("no MP3 file has been loaded");
    }
    // A read-only file is made writable for its owner, the way the tag is meant to be written;
    // where that is not allowed, opening it below reports the refusal.
    std::error_code ignored;
    std::filesystem::permissions(FilePath, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ignored);

    errno = 0;
    std::fstream file(FilePath, std::ios::binary | std::ios::in | std::ios::out);
    if (!file) {
        throwFileError("cannot write", FilePath);
    }
    const std::streamoff length = lengthOf(file);
    requireTagRoom(length, FilePath);
    const std::streamoff tagStart = length - static_cast<std::streamoff>(kTagSize);
    std::string marker(kMarkerSize, '\0');
    file.seekg(tagStart);
    file.read(marker.data(), static_cast<std::streamsize>(kMarkerSize));

    const std::string tag = tagBytes();
    if (marker == kMarker) {
        // Rewrite in place up to the genre byte, which stays as it was.
        file.seekp(tagStart);
        file.write(tag.data(), static_cast<std::streamsize>(kBlockSize));
    } else {
        // Without a marker the last bytes are audio: the tag goes after them.
        file.seekp(0, std::ios::end);
        file.write(tag.data(), static_cast<std::streamsize>(kTagSize));
    }
    file.flush();
    if (!file) {
        throwFileError("cannot write the tag of", FilePath);
    }
    TagWritten = true;
}

std::string cMp3::Title() const {
    return withoutTrailingSpaces(m_title);
}
void cMp3::Title(const std::string& valTitle) {
    m_title = valTitle;
}
std::string cMp3::Artist() const {
    return withoutTrailingSpaces(m_artist);
}
void cMp3::Artist(const std::string& valArtist) {
    m_artist = valArtist;
}
std::string cMp3::Album() const {
    return withoutTrailingSpaces(m_album);
}
void cMp3::Album(const std::string& valAlbum) {
    m_album = valAlbum;
}
std::string cMp3::Year() const {
    return withoutTrailingSpaces(m_year);
}
void cMp3::Year(const std::string& valYear) {
    m_year = valYear;
}
std::string cMp3::Comment() const {
    return withoutTrailingSpaces(m_comment);
}
void cMp3::Comment(const std::string& valComment) {
    m_comment = valComment;
}
