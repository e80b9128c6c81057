#include "mp3/InfoLine.h"

#include "mp3/cMp3.h"

std::string InfoLine::forTag(const cMp3& tag) {
    const std::string album = tag.Album();
    const std::string artist = tag.Artist();
    const std::string title = tag.Title();
    return forFields(album, artist, title);
}

std::string InfoLine::forFields(const std::string& album, const std::string& artist,
                                const std::string& title) {
    return album + kFieldSeparator + artist + kFieldSeparator + title + kEndSeparator;
}
