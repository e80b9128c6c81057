#include "audio/TrackDecoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

#include "audio/ConvertingDecoder.h"
#include "audio/FfmpegDecoder.h"
#include "audio/Mp3Decoder.h"

namespace {

// An MP3 by its name or its first bytes (an ID3v2 tag, or an MPEG layer III frame's sync):
// libmpg123 decodes those as the MP3 panel always has, sample for sample; FFmpeg the rest.
bool looksLikeMp3(const std::string& path) {
    std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (extension == ".mp3") {
        return true;
    }
    std::array<unsigned char, 3> start{};
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(start.data()), start.size());
    const bool tagged = start[0] == 'I' && start[1] == 'D' && start[2] == '3';
    const bool layer3Sync = start[0] == 0xff && (start[1] & 0xe6) == 0xe2;
    return file && (tagged || layer3Sync);
}

}  // namespace

// The other decoder gets its chance when the first refuses the file (an MP3 named otherwise, or
// another format named .mp3); the first one's reason is the one told.
std::unique_ptr<TrackDecoder> openTrackDecoder(const std::string& path, std::string& error) {
    error = unreadableReason(path);
    if (!error.empty()) {
        return nullptr;
    }
    const bool mp3 = looksLikeMp3(path);
    std::unique_ptr<TrackDecoder> decoder;
    std::string other;
    if (mp3) {
        (decoder = Mp3Decoder::open(path, error)) || (decoder = FfmpegDecoder::open(path, other));
    } else {
        (decoder = FfmpegDecoder::open(path, error)) || (decoder = Mp3Decoder::open(path, other));
    }
    if (decoder) {
        error.clear();
    }
    return decoder;
}
