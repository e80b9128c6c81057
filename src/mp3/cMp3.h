#pragma once

#include <string>

// The ID3v1 tag in the last 128 bytes of an MP3 file: title, artist, album, year and comment.
// Values are 8-bit (Latin-1) bytes. No file is held open between calls; file failures are thrown
// to the caller (std::system_error or std::runtime_error), an over-long value as
// std::invalid_argument.
class cMp3 {
public:
    static constexpr std::size_t kTagSize = 128;
    static constexpr std::size_t kBlockSize = kTagSize - 1;  // the tag without its genre byte

    void LoadMp3File(const std::string& valPath);
    void CloseMp3File();
    bool TagExists() const;

    std::string Title() const;
    void Title(const std::string& valTitle);
    std::string Artist() const;
    void Artist(const std::string& valArtist);
    std::string Album() const;
    void Album(const std::string& valAlbum);
    std::string Year() const;
    void Year(const std::string& valYear);
    std::string Comment() const;
    void Comment(const std::string& valComment);

private:
    std::string tagBytes() const;

    std::string TagBlock = std::string(kBlockSize, '\0');
    std::string FilePath;
    std::string m_artist;
    std::string m_title;
    std::string m_album;
    std::string m_year;
    std::string m_comment;
    bool TagWritten = false;
};
