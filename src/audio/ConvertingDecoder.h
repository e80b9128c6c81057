#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/TrackDecoder.h"

struct soxr;

// The part every decoder shares: the file's stereo float, decoded a stretch at a time by the
// format's own decoder, converted by libsoxr to the output rate, and seeks that land on the frame
// asked for.
class ConvertingDecoder : public TrackDecoder {
public:
    ~ConvertingDecoder() override;
    ConvertingDecoder(const ConvertingDecoder&) = delete;
    ConvertingDecoder& operator=(const ConvertingDecoder&) = delete;

    bool setOutputRate(int rate, std::string& error) final;
    int fileRate() const final { return static_cast<int>(m_fileRate); }
    int read(float* interleaved, int maxFrames) final;
    int64_t seek(int64_t outputFrame) final;

protected:
    ConvertingDecoder() = default;
    // Decodes the next stretch into m_decoded (stereo, interleaved, at the file's rate), setting
    // m_decodedFrames and m_usedFrames; false once the file is over or can be read no more (cut
    // short, or gone while playing): what was decoded is what plays.
    virtual bool decodeMore() = 0;
    // To the given frame at the file's rate; returns the frame it stands at, or a negative
    // number when it cannot move. What it leaves in m_decoded plays first.
    virtual int64_t seekFile(int64_t fileFrame) = 0;
    // The file's rate changed within the file (a chained stream).
    bool changeFileRate(long rate);

    long m_fileRate = 0;
    std::vector<float> m_decoded;
    size_t m_decodedFrames = 0;
    size_t m_usedFrames = 0;

private:
    bool makeConverter(std::string& error);

    soxr* m_converter = nullptr;
    int m_outputRate = 0;
    std::vector<float> m_dropped;
    bool m_fileOver = false;
};

// Why a file cannot be read at all, in the user's words; empty when it can.
std::string unreadableReason(const std::string& path);
