#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/ConvertingDecoder.h"

typedef struct sf_private_tag SNDFILE;

// Decodes WAV, AIFF, FLAC, Ogg Vorbis and Opus files of one or two channels with libsndfile,
// which the program holds already (the built-in synthesizer reads its sound font with it), so
// these formats cost no memory beyond the track's own; lossless files play sample for sample.
class SndfileDecoder final : public ConvertingDecoder {
public:
    // Nothing, with error set, when libsndfile cannot read the file or it has more channels than
    // two (FFmpeg mixes those down).
    static std::unique_ptr<SndfileDecoder> open(const std::string& path, std::string& error);
    ~SndfileDecoder() override;

    double estimatedSeconds() const override;
    TrackTags tags() const override;

private:
    SndfileDecoder() = default;
    bool start(const std::string& path, std::string& error);
    bool decodeMore() override;
    int64_t seekFile(int64_t fileFrame) override;

    SNDFILE* m_file = nullptr;
    int m_channels = 0;
    int64_t m_frames = 0;
    std::vector<float> m_mono;
};
