#include "audio/ConvertingDecoder.h"

#include <fcntl.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr int kDropFrames = 4608;
constexpr int kPrerollPerSecond = 50;  // 20 ms

}  // namespace

std::string unreadableReason(const std::string& path) {
    std::error_code fileError;
    if (std::filesystem::is_directory(path, fileError)) {
        return "It is a folder, not a file.";
    }
    // A pipe or a device would be waited on for ever, or read without end.
    if (std::filesystem::exists(path, fileError) &&
        !std::filesystem::is_regular_file(path, fileError)) {
        return "It is not an ordinary file but a pipe or a device.";
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

ConvertingDecoder::~ConvertingDecoder() {
    if (m_converter != nullptr) {
        soxr_delete(m_converter);
    }
}

bool ConvertingDecoder::setOutputRate(int rate, std::string& error) {
    m_outputRate = rate;
    return makeConverter(error);
}

bool ConvertingDecoder::changeFileRate(long rate) {
    const long before = m_fileRate;
    m_fileRate = rate;
    std::string ignored;
    return m_fileRate == before || m_outputRate == 0 || makeConverter(ignored);
}

bool ConvertingDecoder::makeConverter(std::string& error) {
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

int ConvertingDecoder::read(float* interleaved, int maxFrames) {
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

// With a converter, decoding starts a little before the frame and what comes before it is
// dropped: a converter started afresh rings for a few milliseconds, which a seek would hear.
int64_t ConvertingDecoder::seek(int64_t outputFrame) {
    const int outputRate = m_outputRate > 0 ? m_outputRate : static_cast<int>(m_fileRate);
    const int64_t preroll =
        m_converter != nullptr ? std::min<int64_t>(outputFrame, outputRate / kPrerollPerSecond) : 0;
    m_usedFrames = m_decodedFrames = 0;
    const int64_t fileFrame = seekFile((outputFrame - preroll) * m_fileRate / outputRate);
    if (m_converter != nullptr) {
        soxr_clear(m_converter);
    }
    m_fileOver = false;
    int64_t landed = fileFrame < 0 ? 0 : fileFrame * outputRate / m_fileRate;
    m_dropped.resize(2 * kDropFrames);
    while (landed < outputFrame) {
        const int dropped =
            read(m_dropped.data(),
                 static_cast<int>(std::min<int64_t>(outputFrame - landed, kDropFrames)));
        if (dropped == 0) {
            break;
        }
        landed += dropped;
    }
    return landed;
}
