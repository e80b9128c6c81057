#pragma once

#include <memory>
#include <string>

#include "audio/ConvertingDecoder.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct FfmpegLibrary;
struct SwrContext;

// Decodes every other format (M4A/AAC, FLAC, WAV, AIFF, Ogg Vorbis, Opus and whatever else the
// system's FFmpeg reads) with libavformat and libavcodec; libswresample folds the channels to
// stereo float at the file's own rate, so lossless files play sample for sample.
class FfmpegDecoder final : public ConvertingDecoder {
public:
    // Nothing with error set (in words for the user) when the file holds no audio FFmpeg can
    // decode.
    static std::unique_ptr<FfmpegDecoder> open(const std::string& path, std::string& error);
    ~FfmpegDecoder() override;

    double estimatedSeconds() const override;
    TrackTags tags() const override;

private:
    explicit FfmpegDecoder(const FfmpegLibrary& av) : m_av(av) {}
    bool start(const std::string& path, std::string& error);
    bool openFile(std::string& error);
    bool openCodec(std::string& error);
    bool protectedByDrm() const;
    bool decodeMore() override;
    int64_t seekFile(int64_t fileFrame) override;
    bool receiveFrame();
    bool convertFrame();
    bool makeMixer();
    std::string errorText(int code) const;

    const FfmpegLibrary& m_av;
    std::string m_path;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_mixer = nullptr;
    int m_stream = -1;
    // What the mixer was made for: a decoder may change its output within a file.
    int m_mixerFormat = -1;
    int m_mixerChannels = 0;
    int m_mixerRate = 0;
    int64_t m_nextFrame = 0;         // where the next decoded frame starts, at the file's rate
    int64_t m_decodedStart = 0;      // where m_decoded starts
    int64_t m_firstFrame = 0;        // the time the file gives its first frame
    bool m_placeByTimestamp = true;  // after a seek, the frame's time tells where it starts
    bool m_drained = false;
};
