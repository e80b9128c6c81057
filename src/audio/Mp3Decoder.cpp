#include "audio/Mp3Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace {

constexpr size_t kDecodeFrames = 4608;  // four MPEG frames of 1152 samples
constexpr int kPrerollPerSecond = 50;   // 20 ms

std::string mpg123Error(mpg123_handle* handle) {
    return mpg123_strerror(handle);
}

// Why a file cannot be read, in the user's words; empty when it can.
std::string unreadableReason(const std::string& path) {
    std::error_code fileError;
    if (std::filesystem::is_directory(path, fileError)) {
        return "It is a folder, not a file.";
    }
    const int file = ::open(path.c_str(), O_RDONLY);
    if (file < 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
                return "It is no longer there: it was moved, renamed or deleted.";
            case EACCES:
            case EPERM:
                return "You have no permission to read it.";
            default:
                return std::string("It cannot be read: ") + std::strerror(errno) + ".";
        }
    }
    ::close(file);
    return std::filesystem::file_size(path, fileError) == 0 ? "It is empty." : "";
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
    if (m_converter != nullptr) {
        soxr_delete(m_converter);
    }
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

bool Mp3Decoder::setOutputRate(int rate, std::string& error) {
    m_outputRate = rate;
    return makeConverter(error);
}

bool Mp3Decoder::makeConverter(std::string& error) {
    if (m_converter != nullptr) {
        soxr_delete(m_converter);
        m_converter = nullptr;
    }
    if (m_fileRate == m_outputRate) {
        return true;  // played as decoded, sample for sample
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t failure = nullptr;
    m_converter = soxr_create(static_cast<double>(m_fileRate), m_outputRate, 2, &failure, &io,
                              &quality, nullptr);
    if (m_converter == nullptr) {
        error = std::string("The sample rate cannot be converted: ") + failure;
        return false;
    }
    return true;
}

// Decodes the next frames into m_decoded; false once the file is over or can be read no more
// (cut short, or gone while playing): what was decoded is what plays.
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
            const long before = m_fileRate;
            mpg123_getformat(m_handle, &m_fileRate, &channels, &encoding);
            std::string ignored;
            if (m_fileRate != before && m_outputRate != 0 && !makeConverter(ignored)) {
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

int Mp3Decoder::read(float* interleaved, int maxFrames) {
    const auto wanted = static_cast<size_t>(maxFrames);
    size_t done = 0;
    while (done < wanted) {
        if (m_usedFrames == m_decodedFrames && !m_fileOver && !decodeMore()) {
            m_fileOver = true;
        }
        const size_t available = m_decodedFrames - m_usedFrames;
        const float* in = m_decoded.data() + 2 * m_usedFrames;
        if (m_converter == nullptr) {
            const size_t frames = std::min(available, wanted - done);
            std::copy_n(in, 2 * frames, interleaved + 2 * done);
            m_usedFrames += frames;
            done += frames;
        } else {
            size_t used = 0, made = 0;
            // Past the end, a null input tells the converter to give out what it still holds.
            soxr_process(m_converter, available > 0 ? in : nullptr, available, &used,
                         interleaved + 2 * done, wanted - done, &made);
            m_usedFrames += used;
            done += made;
            if (available == 0 && made == 0) {
                break;
            }
        }
        if (m_fileOver && available == 0 && m_converter == nullptr) {
            break;
        }
    }
    return static_cast<int>(done);
}

void Mp3Decoder::rewind() {
    seek(0);
}

// With a converter, decoding starts a little before the frame and what comes before it is
// dropped: a converter started afresh rings for a few milliseconds, which a seek would hear.
int64_t Mp3Decoder::seek(int64_t outputFrame) {
    const int outputRate = m_outputRate > 0 ? m_outputRate : static_cast<int>(m_fileRate);
    const int64_t preroll =
        m_converter != nullptr ? std::min<int64_t>(outputFrame, outputRate / kPrerollPerSecond) : 0;
    const off_t fileFrame = mpg123_seek(
        m_handle, static_cast<off_t>((outputFrame - preroll) * m_fileRate / outputRate), SEEK_SET);
    if (m_converter != nullptr) {
        soxr_clear(m_converter);
    }
    m_usedFrames = m_decodedFrames = 0;
    m_fileOver = false;
    int64_t landed = fileFrame < 0 ? 0 : static_cast<int64_t>(fileFrame) * outputRate / m_fileRate;
    m_dropped.resize(2 * kDecodeFrames);
    while (landed < outputFrame) {
        const int dropped =
            read(m_dropped.data(),
                 static_cast<int>(std::min<int64_t>(outputFrame - landed, kDecodeFrames)));
        if (dropped == 0) {
            break;
        }
        landed += dropped;
    }
    return landed;
}
