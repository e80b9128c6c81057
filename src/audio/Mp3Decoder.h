#pragma once

#include <memory>
#include <string>

#include "audio/ConvertingDecoder.h"

typedef struct mpg123_handle_struct mpg123_handle;

// Decodes an MP3 file with libmpg123, sample-exact and with its own gapless trimming.
class Mp3Decoder final : public ConvertingDecoder {
public:
    // Nothing with error set (in words for the user) when the file holds no MP3 audio.
    static std::unique_ptr<Mp3Decoder> open(const std::string& path, std::string& error);
    ~Mp3Decoder() override;

    // From its header, or its size and bit rate.
    double estimatedSeconds() const override;
    // Its ID3v2 tag's; the ID3v1 tag is read by the MP3 panel's own tag class.
    TrackTags tags() const override;

private:
    Mp3Decoder() = default;
    bool start(const std::string& path, std::string& error);
    bool decodeMore() override;
    int64_t seekFile(int64_t fileFrame) override;

    mpg123_handle* m_handle = nullptr;
};
