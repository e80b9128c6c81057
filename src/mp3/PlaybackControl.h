#pragma once

#include <string>

// The MP3 player as the panel drives it: four requests, nothing read back.
class PlaybackControl {
public:
    virtual ~PlaybackControl() = default;
    // Prepares the file and stops what played before; an empty name leaves nothing to play.
    virtual void setFile(const std::string& path) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    // Holds the position: the next play goes on from there.
    virtual void pause() = 0;
};
