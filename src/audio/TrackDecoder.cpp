#include "audio/TrackDecoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

#include "audio/ConvertingDecoder.h"
#include "audio/FfmpegDecoder.h"
#include "audio/FfmpegLibrary.h"
#include "audio/Mp3Decoder.h"
#include "audio/SndfileDecoder.h"

namespace {

// An MP3 by its name or its first bytes (an ID3v2 tag, or an MPEG layer III frame's sync):
// libmpg123 decodes those as the MP3 panel always has, sample for sample.
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

// WAV, AIFF, FLAC, Ogg and Opus go to libsndfile, which the program holds already; what it cannot
// read (M4A/AAC, more than two channels, a codec it lacks) to FFmpeg, loaded then. The other
// decoders get their chance when the first refuses the file (an MP3 named otherwise, or another
// format named .mp3); the reason told is libmpg123's for an MP3, else FFmpeg's, the one that
// reads the most and says best what is wrong.
std::unique_ptr<TrackDecoder> openTrackDecoder(const std::string& path, std::string& error) {
    error = unreadableReason(path);
    if (!error.empty()) {
        return nullptr;
    }
    std::string mp3Error, ffmpegError, sndfileError;
    std::unique_ptr<TrackDecoder> decoder;
    const bool mp3 = looksLikeMp3(path);
    if (mp3) {
        decoder = Mp3Decoder::open(path, mp3Error);
    }
    if (!decoder) {
        decoder = SndfileDecoder::open(path, sndfileError);
    }
    if (!decoder) {
        decoder = FfmpegDecoder::open(path, ffmpegError);
    }
    if (!decoder && !mp3) {
        decoder = Mp3Decoder::open(path, mp3Error);
    }
    error = decoder ? "" : mp3 ? mp3Error : ffmpegError;
    return decoder;
}

// What looks like an MP3 is one nearly always, and libmpg123 opens it without FFmpeg.
bool trackDecoderNeedsLoading(const std::string& path) {
    std::string error;
    return !FfmpegLibrary::triedToOpen() && unreadableReason(path).empty() && !looksLikeMp3(path) &&
           !SndfileDecoder::open(path, error);
}

// The decoder opened once here and let go sets up, besides the libraries, what the codec builds at
// its first use.
void loadTrackDecoders(const std::string& path) {
    std::string error;  // told when the file is opened for playing
    FfmpegDecoder::open(path, error);
}
