#include "audio/SndfileDecoder.h"

#include <sndfile.h>

namespace {

constexpr sf_count_t kDecodeFrames = 4096;

std::string textOf(SNDFILE* file, int which) {
    const char* text = sf_get_string(file, which);
    return text != nullptr ? text : "";
}

}  // namespace

std::unique_ptr<SndfileDecoder> SndfileDecoder::open(const std::string& path, std::string& error) {
    std::unique_ptr<SndfileDecoder> decoder(new SndfileDecoder());
    if (!decoder->start(path, error)) {
        return nullptr;
    }
    return decoder;
}

SndfileDecoder::~SndfileDecoder() {
    if (m_file != nullptr) {
        sf_close(m_file);
    }
}

bool SndfileDecoder::start(const std::string& path, std::string& error) {
    SF_INFO info{};
    m_file = sf_open(path.c_str(), SFM_READ, &info);
    if (m_file == nullptr) {
        error = sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
        error = "It has " + std::to_string(info.channels) + " channels.";
        return false;
    }
    m_channels = info.channels;
    m_frames = info.frames;
    m_fileRate = info.samplerate;
    // Integer samples as float in [-1, 1), each the same value the file holds.
    sf_command(m_file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    if (!decodeMore()) {
        error = "Its sound cannot be decoded.";
        return false;
    }
    rewind();
    return true;
}

double SndfileDecoder::estimatedSeconds() const {
    return m_frames > 0 ? static_cast<double>(m_frames) / m_fileRate : 0;
}

TrackTags SndfileDecoder::tags() const {
    return {textOf(m_file, SF_STR_ALBUM), textOf(m_file, SF_STR_ARTIST),
            textOf(m_file, SF_STR_TITLE)};
}

// Mono goes to both sides at its full level.
bool SndfileDecoder::decodeMore() {
    m_decoded.resize(2 * kDecodeFrames);
    m_usedFrames = m_decodedFrames = 0;
    sf_count_t frames = 0;
    if (m_channels == 2) {
        frames = sf_readf_float(m_file, m_decoded.data(), kDecodeFrames);
    } else {
        m_mono.resize(kDecodeFrames);
        frames = sf_readf_float(m_file, m_mono.data(), kDecodeFrames);
        for (sf_count_t i = 0; i < frames; ++i) {
            m_decoded[2 * i] = m_decoded[2 * i + 1] = m_mono[i];
        }
    }
    m_decodedFrames = frames > 0 ? static_cast<size_t>(frames) : 0;
    return m_decodedFrames > 0;
}

int64_t SndfileDecoder::seekFile(int64_t fileFrame) {
    // Past the end libsndfile refuses the seek: the track then stands at its end.
    const sf_count_t landed = sf_seek(m_file, fileFrame, SEEK_SET);
    return landed >= 0 || m_frames <= 0 ? landed : sf_seek(m_file, 0, SEEK_END);
}
