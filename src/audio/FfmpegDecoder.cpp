#include "audio/FfmpegDecoder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string_view>

#include "audio/FfmpegLibrary.h"

namespace {

// Errors one after another beyond this end the file: it is damaged past what can be looked through.
constexpr int kMostErrorsInARow = 1000;
constexpr int kSeekPrerollPerSecond = 10;  // 100 ms

// Sample entries of the shops' protected tracks (iTunes' FairPlay, and encrypted MP4 audio).
bool protectedSampleEntry(uint32_t tag) {
    for (const uint32_t entry : {MKTAG('d', 'r', 'm', 's'), MKTAG('d', 'r', 'm', 'i'),
                                 MKTAG('e', 'n', 'c', 'a'), MKTAG('p', '6', '0', '8')}) {
        if (tag == entry) {
            return true;
        }
    }
    return false;
}

// The container a file's first bytes name, with its article ("a FLAC"); empty when they name none
// FFmpeg reads for us.
std::string containerOf(const std::string& path) {
    char start[12] = {};
    std::ifstream(path, std::ios::binary).read(start, sizeof start);
    const std::string_view head(start, sizeof start);
    const auto at = [&head](size_t offset, std::string_view tag) {
        return head.substr(offset, tag.size()) == tag;
    };
    if (at(0, "fLaC")) {
        return "a FLAC";
    }
    if (at(0, "OggS")) {
        return "an Ogg";
    }
    if (at(0, "RIFF") && at(8, "WAVE")) {
        return "a WAV";
    }
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) {
        return "an AIFF";
    }
    return at(4, "ftyp") ? "an M4A" : "";
}

}  // namespace

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& path, std::string& error) {
    error = unreadableReason(path);
    const FfmpegLibrary* av = error.empty() ? FfmpegLibrary::open(error) : nullptr;
    if (av == nullptr) {
        return nullptr;
    }
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(*av));
    if (!decoder->start(path, error)) {
        return nullptr;
    }
    return decoder;
}

FfmpegDecoder::~FfmpegDecoder() {
    m_av.freeMixer(&m_mixer);
    m_av.freeFrame(&m_frame);
    m_av.freePacket(&m_packet);
    m_av.freeCodec(&m_codec);
    m_av.closeInput(&m_format);
}

bool FfmpegDecoder::start(const std::string& path, std::string& error) {
    m_path = path;
    m_packet = m_av.allocPacket();
    m_frame = m_av.allocFrame();
    if (!openFile(error)) {
        return false;
    }
    if (m_fileRate <= 0 || !decodeMore()) {
        error = "Its sound cannot be decoded: the file is damaged or cut short.";
        return false;
    }
    // Frames are counted from the first one heard, whatever time the file gives it.
    m_firstFrame = m_decodedStart;
    rewind();
    return true;
}

bool FfmpegDecoder::openFile(std::string& error) {
    m_av.freeCodec(&m_codec);
    m_av.closeInput(&m_format);
    int result = m_av.openInput(&m_format, m_path.c_str(), nullptr, nullptr);
    if (result == AVERROR_INVALIDDATA || result == AVERROR_EOF) {
        const std::string container = containerOf(m_path);
        error = container.empty()
                    ? "It is not an audio file: its content is in no format RZ77 knows."
                    : "It looks like " + container + " file, but it is damaged or cut short.";
        return false;
    }
    if (result < 0) {
        error = "It cannot be opened: " + errorText(result) + ".";
        return false;
    }
    if ((result = m_av.findStreamInfo(m_format, nullptr)) < 0) {
        error = "Its content cannot be read: " + errorText(result) + ".";
        return false;
    }
    m_stream = m_av.findBestStream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (m_stream < 0) {
        error = "It is not an audio file: it holds no sound.";
        return false;
    }
    if (protectedByDrm()) {
        error =
            "It is protected against copying (DRM): only the player of the shop that sold it "
            "can play it.";
        return false;
    }
    if (!openCodec(error)) {
        return false;
    }
    if (m_fileRate == 0) {
        m_fileRate = m_codec->sample_rate;
    }
    m_drained = false;
    m_placeByTimestamp = true;
    m_nextFrame = 0;
    return true;
}

bool FfmpegDecoder::protectedByDrm() const {
    const AVStream* stream = m_format->streams[m_stream];
    size_t size = 0;
    return protectedSampleEntry(stream->codecpar->codec_tag) ||
           m_av.streamSideData(stream, AV_PKT_DATA_ENCRYPTION_INIT_INFO, &size) != nullptr;
}

bool FfmpegDecoder::openCodec(std::string& error) {
    const AVStream* stream = m_format->streams[m_stream];
    const AVCodec* codec = m_av.findDecoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        const std::string name = m_av.codecName(stream->codecpar->codec_id);
        char tag[16] = {};
        std::snprintf(tag, sizeof tag, "tag 0x%x", stream->codecpar->codec_tag);
        error = name == "none" ? "Its sound is coded in a way (" + std::string(tag) +
                                     ") that FFmpeg does not know."
                               : "Its sound is coded as " + name +
                                     ", which this system's FFmpeg cannot decode.";
        return false;
    }
    m_codec = m_av.allocCodec(codec);
    int result =
        m_codec != nullptr ? m_av.codecParameters(m_codec, stream->codecpar) : AVERROR(ENOMEM);
    if (result >= 0) {
        m_codec->pkt_timebase = stream->time_base;
        // One thread is plenty for sound, and keeps the memory down.
        m_codec->thread_count = 1;
        result = m_av.openCodec(m_codec, codec, nullptr);
    }
    if (result < 0) {
        error = "Its sound (" + std::string(codec->name) +
                ") cannot be decoded: " + errorText(result) + ".";
        return false;
    }
    return true;
}

double FfmpegDecoder::estimatedSeconds() const {
    if (m_format->duration > 0) {
        return static_cast<double>(m_format->duration) / AV_TIME_BASE;
    }
    const AVStream* stream = m_format->streams[m_stream];
    return stream->duration > 0 ? static_cast<double>(stream->duration) * av_q2d(stream->time_base)
                                : 0;
}

// The container's tags, else the stream's (Ogg keeps its comments there).
TrackTags FfmpegDecoder::tags() const {
    const auto tag = [this](const char* key) {
        for (const AVDictionary* dictionary :
             {m_format->metadata, m_format->streams[m_stream]->metadata}) {
            if (const AVDictionaryEntry* entry = m_av.dictGet(dictionary, key, nullptr, 0)) {
                return std::string(entry->value);
            }
        }
        return std::string();
    };
    return {tag("album"), tag("artist"), tag("title")};
}

bool FfmpegDecoder::decodeMore() {
    m_usedFrames = m_decodedFrames = 0;
    while (receiveFrame()) {
        if (!convertFrame()) {
            return false;
        }
        if (m_decodedFrames > 0) {
            return true;
        }
    }
    return false;
}

// Damaged packets are passed over, as a player skips what it cannot decode and goes on.
bool FfmpegDecoder::receiveFrame() {
    for (int errors = 0; errors < kMostErrorsInARow;) {
        const int received = m_av.receiveFrame(m_codec, m_frame);
        if (received == 0) {
            return true;
        }
        if (received == AVERROR_EOF) {
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            ++errors;
            continue;
        }
        if (m_drained) {
            return false;
        }
        if (m_av.readPacket(m_format, m_packet) < 0) {
            m_drained = true;  // the end, or as far as a cut-short file goes
            m_av.sendPacket(m_codec, nullptr);
            continue;
        }
        if (m_packet->stream_index == m_stream && m_av.sendPacket(m_codec, m_packet) < 0) {
            ++errors;
        } else {
            errors = 0;
        }
        m_av.unrefPacket(m_packet);
    }
    return false;
}

bool FfmpegDecoder::convertFrame() {
    const int rate = m_frame->sample_rate;
    if (rate <= 0 || m_frame->ch_layout.nb_channels <= 0) {
        return true;  // nothing to play in it
    }
    if ((m_frame->format != m_mixerFormat || m_frame->ch_layout.nb_channels != m_mixerChannels ||
         rate != m_mixerRate) &&
        !makeMixer()) {
        return false;
    }
    if (rate != m_fileRate && !changeFileRate(rate)) {
        return false;
    }
    if (m_placeByTimestamp && m_frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        m_nextFrame = m_av.rescale(m_frame->best_effort_timestamp,
                                   m_format->streams[m_stream]->time_base, AVRational{1, rate}) -
                      m_firstFrame;
    }
    m_placeByTimestamp = false;
    const int room = m_av.mixerOutSamples(m_mixer, m_frame->nb_samples);
    m_decoded.resize(2 * static_cast<size_t>(std::max(room, 0)));
    auto* out = reinterpret_cast<uint8_t*>(m_decoded.data());
    const int made =
        m_av.convert(m_mixer, &out, room, const_cast<const uint8_t**>(m_frame->extended_data),
                     m_frame->nb_samples);
    if (made < 0) {
        return false;
    }
    m_decodedStart = m_nextFrame;
    m_decodedFrames = static_cast<size_t>(made);
    m_usedFrames = 0;
    m_nextFrame += made;
    return true;
}

// Stereo float at the frame's own rate: mono goes to both sides at its full level, more channels
// are mixed down as FFmpeg mixes them.
bool FfmpegDecoder::makeMixer() {
    m_av.freeMixer(&m_mixer);
    m_mixerFormat = -1;
    const int channels = m_frame->ch_layout.nb_channels;
    AVChannelLayout ordered{};
    AVChannelLayout* in = &m_frame->ch_layout;
    if (in->order == AV_CHANNEL_ORDER_UNSPEC) {
        m_av.defaultLayout(&ordered, channels);
        in = &ordered;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const int rate = m_frame->sample_rate;
    if (m_av.allocMixer(&m_mixer, &stereo, AV_SAMPLE_FMT_FLT, rate, in,
                        static_cast<AVSampleFormat>(m_frame->format), rate, 0, nullptr) < 0) {
        return false;
    }
    const double bothSides[2] = {1, 1};
    if ((channels == 1 && m_av.setMatrix(m_mixer, bothSides, 1) < 0) ||
        m_av.initMixer(m_mixer) < 0) {
        m_av.freeMixer(&m_mixer);
        return false;
    }
    m_mixerFormat = m_frame->format;
    m_mixerChannels = channels;
    m_mixerRate = rate;
    return true;
}

// FFmpeg seeks to a packet at or before a moment ahead of the frame, for the decoder to settle
// (an AAC or Opus decoder needs the frames before to make the one asked for); what comes before
// the frame is decoded and dropped, so the seek lands on the frame itself. The start is reached by
// opening the file afresh, as the first time: a seek there would decode its first frames
// differently (FFmpeg then drops no encoder delay from an M4A).
int64_t FfmpegDecoder::seekFile(int64_t fileFrame) {
    const AVStream* stream = m_format->streams[m_stream];
    const int64_t preroll =
        std::max<int64_t>(stream->codecpar->seek_preroll, m_fileRate / kSeekPrerollPerSecond);
    std::string error;
    if (fileFrame <= preroll) {
        if (!openFile(error)) {
            return -1;
        }
    } else {
        const int64_t timestamp =
            m_av.rescale(fileFrame - preroll + m_firstFrame,
                         AVRational{1, static_cast<int>(m_fileRate)}, stream->time_base);
        if (m_av.seekFrame(m_format, m_stream, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
            return -1;
        }
        // A decoder made afresh, as at the start: one flushed keeps some of what it held.
        m_av.freeCodec(&m_codec);
        if (!openCodec(error)) {
            return -1;
        }
        m_drained = false;
        m_placeByTimestamp = true;
    }
    while (decodeMore()) {
        if (m_decodedStart + static_cast<int64_t>(m_decodedFrames) > fileFrame) {
            m_usedFrames = static_cast<size_t>(std::clamp<int64_t>(
                fileFrame - m_decodedStart, 0, static_cast<int64_t>(m_decodedFrames)));
            return m_decodedStart + static_cast<int64_t>(m_usedFrames);
        }
    }
    return m_nextFrame;
}

std::string FfmpegDecoder::errorText(int code) const {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    m_av.errorText(code, text, sizeof text);
    return text;
}
