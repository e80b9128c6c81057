#include "audio/FfmpegLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace {

std::atomic<bool> openTried{false};

// The sonames of the versions the headers describe: another major version lays out its
// structures differently.
std::string soname(const char* name, int major) {
    return std::string("lib") + name + ".so." + std::to_string(major);
}

class Resolver {
public:
    // Each library stays loaded for the rest of the process: decoders come and go with tracks.
    bool load(const char* name, int major) {
        const std::string file = soname(name, major);
        m_library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_library == nullptr) {
            m_failure = dlerror();
        }
        return m_library != nullptr;
    }
    template <typename Function>
    void get(const char* name, Function& function) {
        function =
            m_library != nullptr ? reinterpret_cast<Function>(dlsym(m_library, name)) : nullptr;
        if (function == nullptr && m_failure.empty()) {
            m_failure = std::string("it lacks ") + name;
        }
    }
    const std::string& failure() const { return m_failure; }

private:
    void* m_library = nullptr;
    std::string m_failure;
};

std::string resolveAll(FfmpegLibrary& f) {
    Resolver util, resample, codec, format;
    // Each after the ones it needs.
    if (!util.load("avutil", LIBAVUTIL_VERSION_MAJOR) ||
        !resample.load("swresample", LIBSWRESAMPLE_VERSION_MAJOR) ||
        !codec.load("avcodec", LIBAVCODEC_VERSION_MAJOR) ||
        !format.load("avformat", LIBAVFORMAT_VERSION_MAJOR)) {
        for (const Resolver* r : {&util, &resample, &codec, &format}) {
            if (!r->failure().empty()) {
                return r->failure();
            }
        }
    }
    format.get("avformat_open_input", f.openInput);
    format.get("avformat_find_stream_info", f.findStreamInfo);
    format.get("av_find_best_stream", f.findBestStream);
    format.get("avformat_close_input", f.closeInput);
    format.get("av_read_frame", f.readPacket);
    format.get("av_seek_frame", f.seekFrame);
    format.get("av_stream_get_side_data", f.streamSideData);
    codec.get("avcodec_find_decoder", f.findDecoder);
    codec.get("avcodec_get_name", f.codecName);
    codec.get("avcodec_alloc_context3", f.allocCodec);
    codec.get("avcodec_free_context", f.freeCodec);
    codec.get("avcodec_parameters_to_context", f.codecParameters);
    codec.get("avcodec_open2", f.openCodec);
    codec.get("avcodec_send_packet", f.sendPacket);
    codec.get("avcodec_receive_frame", f.receiveFrame);
    codec.get("av_packet_alloc", f.allocPacket);
    codec.get("av_packet_free", f.freePacket);
    codec.get("av_packet_unref", f.unrefPacket);
    util.get("av_frame_alloc", f.allocFrame);
    util.get("av_frame_free", f.freeFrame);
    util.get("av_dict_get", f.dictGet);
    util.get("av_strerror", f.errorText);
    util.get("av_channel_layout_default", f.defaultLayout);
    util.get("av_rescale_q", f.rescale);
    util.get("av_log_set_level", f.setLogLevel);
    resample.get("swr_alloc_set_opts2", f.allocMixer);
    resample.get("swr_set_matrix", f.setMatrix);
    resample.get("swr_init", f.initMixer);
    resample.get("swr_convert", f.convert);
    resample.get("swr_get_out_samples", f.mixerOutSamples);
    resample.get("swr_free", f.freeMixer);
    for (const Resolver* r : {&format, &codec, &util, &resample}) {
        if (!r->failure().empty()) {
            return r->failure();
        }
    }
    return "";
}

}  // namespace

const FfmpegLibrary* FfmpegLibrary::open(std::string& error) {
    static std::once_flag once;
    static FfmpegLibrary functions{};
    static const FfmpegLibrary* opened = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        const std::string reason = resolveAll(functions);
        openTried = true;
        if (!reason.empty()) {
            failure = "The FFmpeg libraries that read this format could not be opened (" + reason +
                      "). Installing the package libavformat" +
                      std::to_string(LIBAVFORMAT_VERSION_MAJOR) + " may help.";
            return;
        }
        // Damaged files are told to the user in words; the library's own lines would go nowhere.
        functions.setLogLevel(AV_LOG_QUIET);
        opened = &functions;
    });
    error = failure;
    return opened;
}

bool FfmpegLibrary::triedToOpen() {
    return openTried;
}
