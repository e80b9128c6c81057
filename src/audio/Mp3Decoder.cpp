#include "audio/Mp3Decoder.h"

#include <mpg123.h>

#include <mutex>

namespace {

constexpr size_t kDecodeFrames = 4608;  // four MPEG frames of 1152 samples

std::string mpg123Error(mpg123_handle* handle) {
    return mpg123_strerror(handle);
}

std::string textOf(const mpg123_string* text) {
    return text != nullptr && text->p != nullptr && text->fill > 0 ? std::string(text->p) : "";
}

}  // namespace

std::unique_ptr<Mp3Decoder> Mp3Decoder::open(const std::string& path, std::string& error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    std::unique_ptr<Mp3Decoder> decoder(new Mp3Decoder());
    if (!decoder->start(path, error)) {
        return nullptr;
    }
    return decoder;
}

Mp3Decoder::~Mp3Decoder() {
    if (m_handle != nullptr) {
        mpg123_close(m_handle);
        mpg123_delete(m_handle);
    }
}

bool Mp3Decoder::start(const std::string& path, std::string& error) {
    error = unreadableReason(path);
    if (!error.empty()) {
        return false;
    }
    int result = MPG123_OK;
    m_handle = mpg123_new(nullptr, &result);
    if (m_handle == nullptr) {
        error = mpg123_plain_strerror(result);
        return false;
    }
    // Always stereo float, whatever the file holds: the engine mixes nothing else.
    mpg123_param(m_handle, MPG123_ADD_FLAGS,
                 MPG123_FORCE_STEREO | MPG123_FORCE_FLOAT | MPG123_QUIET, 0);
    mpg123_format_none(m_handle);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(m_handle, rates[i], MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    if (mpg123_open(m_handle, path.c_str()) != MPG123_OK) {
        error = "It cannot be opened: " + mpg123Error(m_handle) + ".";
        return false;
    }
    int channels = 0, encoding = 0;
    mpg123_frameinfo frame{};
    // A stray sync word in other data can pass for one frame; a real MP3 file decodes on.
    if (mpg123_getformat(m_handle, &m_fileRate, &channels, &encoding) != MPG123_OK ||
        mpg123_info(m_handle, &frame) != MPG123_OK || frame.layer != 3 || !decodeMore() ||
        !decodeMore()) {
        error = "It holds no MP3 audio that can be decoded.";
        return false;
    }
    // Once the file is known to be MP3, damage in it is looked through to the next frame however
    // long it is, as a player skips what it cannot decode and goes on.
    mpg123_param(m_handle, MPG123_RESYNC_LIMIT, -1, 0);
    rewind();
    return true;
}

double Mp3Decoder::estimatedSeconds() const {
    const off_t samples = mpg123_length(m_handle);
    return samples > 0 && m_fileRate > 0 ? static_cast<double>(samples) / m_fileRate : 0;
}

TrackTags Mp3Decoder::tags() const {
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if ((mpg123_meta_check(m_handle) & MPG123_ID3) == 0 ||
        mpg123_id3(m_handle, &v1, &v2) != MPG123_OK || v2 == nullptr) {
        return {};
    }
    return {textOf(v2->album), textOf(v2->artist), textOf(v2->title)};
}

bool Mp3Decoder::decodeMore() {
    m_decoded.resize(kDecodeFrames * 2);
    m_usedFrames = m_decodedFrames = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        size_t bytes = 0;
        const int result =
            mpg123_read(m_handle, m_decoded.data(), m_decoded.size() * sizeof(float), &bytes);
        m_decodedFrames = bytes / (2 * sizeof(float));
        if (result == MPG123_NEW_FORMAT) {
            int channels = 0, encoding = 0;
            long rate = m_fileRate;
            mpg123_getformat(m_handle, &rate, &channels, &encoding);
            if (!changeFileRate(rate)) {
                return false;
            }
        } else if (result != MPG123_OK) {
            return m_decodedFrames > 0;
        }
        if (m_decodedFrames > 0) {
            return true;
        }
    }
    return false;
}

int64_t Mp3Decoder::seekFile(int64_t fileFrame) {
    return mpg123_seek(m_handle, static_cast<off_t>(fileFrame), SEEK_SET);
}
