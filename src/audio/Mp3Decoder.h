#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct mpg123_handle_struct mpg123_handle;
struct soxr;

// Decodes an MP3 file to interleaved stereo float at a rate of the caller's choice: libmpg123
// decodes, libsoxr converts the rate. Not thread-safe; one thread at a time.
class Mp3Decoder {
public:
    // Nothing with error set (in words for the user) when the file holds no MP3 audio.
    static std::unique_ptr<Mp3Decoder> open(const std::string& path, std::string& error);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    bool setOutputRate(int rate, std::string& error);
    int fileRate() const { return m_fileRate; }
    // The track's length in seconds as the file tells it (from its header, or its size and bit
    // rate), known at once; 0 when it does not tell.
    double estimatedSeconds() const;
    // Up to maxFrames frames at the output rate; 0 once the file is over.
    int read(float* interleaved, int maxFrames);
    // Back to the first sample.
    void rewind();
    // To the given frame at the output rate; returns the frame it stands at (the file's end at
    // most).
    int64_t seek(int64_t outputFrame);

private:
    Mp3Decoder() = default;
    bool start(const std::string& path, std::string& error);
    bool decodeMore();
    bool makeConverter(std::string& error);

    mpg123_handle* m_handle = nullptr;
    soxr* m_converter = nullptr;
    long m_fileRate = 0;
    int m_outputRate = 0;
    std::vector<float> m_decoded;  // interleaved, at the file's rate
    std::vector<float> m_dropped;
    size_t m_decodedFrames = 0;
    size_t m_usedFrames = 0;
    bool m_fileOver = false;
};
