#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What a file says about itself, in UTF-8; empty where it says nothing.
struct TrackTags {
    std::string album;
    std::string artist;
    std::string title;
};

// A backing track decoded to interleaved stereo float at a rate of the caller's choice, whatever
// the file's format, rate and channels. Not thread-safe; one thread at a time.
class TrackDecoder {
public:
    virtual ~TrackDecoder() = default;

    virtual bool setOutputRate(int rate, std::string& error) = 0;
    virtual int fileRate() const = 0;
    // The track's length in seconds as the file tells it, known at once; 0 when it does not tell.
    virtual double estimatedSeconds() const = 0;
    // Up to maxFrames frames at the output rate; 0 once the file is over.
    virtual int read(float* interleaved, int maxFrames) = 0;
    // To the given frame at the output rate; returns the frame it stands at (the file's end at
    // most).
    virtual int64_t seek(int64_t outputFrame) = 0;
    // Back to the first sample.
    void rewind() { seek(0); }
    virtual TrackTags tags() const { return {}; }
};

// The decoder for any audio file RZ77 plays (MP3, M4A/AAC, FLAC, WAV, AIFF, Ogg Vorbis, Opus);
// nothing, with error set in words for the user, when the file cannot be played.
std::unique_ptr<TrackDecoder> openTrackDecoder(const std::string& path, std::string& error);

// Whether opening the file would first load FFmpeg's libraries (a format neither libmpg123 nor
// libsndfile reads, and FFmpeg not loaded yet): a quarter of a second better spent off the
// user-interface thread, in loadTrackDecoders().
bool trackDecoderNeedsLoading(const std::string& path);
// Loads what trackDecoderNeedsLoading() found missing for the file; any thread.
void loadTrackDecoders(const std::string& path);
