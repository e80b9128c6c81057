#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <string>

// FFmpeg's libraries, opened the first time a track that is not MP3 is opened rather than when
// the program starts: with their codecs they bring some hundred other libraries, tens of MB of a
// user's memory that a session of MP3 files never needs.
struct FfmpegLibrary {
    decltype(&avformat_open_input) openInput;
    decltype(&avformat_find_stream_info) findStreamInfo;
    decltype(&av_find_best_stream) findBestStream;
    decltype(&avformat_close_input) closeInput;
    decltype(&av_read_frame) readPacket;
    decltype(&av_seek_frame) seekFrame;
    decltype(&av_stream_get_side_data) streamSideData;
    decltype(&avcodec_find_decoder) findDecoder;
    decltype(&avcodec_get_name) codecName;
    decltype(&avcodec_alloc_context3) allocCodec;
    decltype(&avcodec_free_context) freeCodec;
    decltype(&avcodec_parameters_to_context) codecParameters;
    decltype(&avcodec_open2) openCodec;
    decltype(&avcodec_send_packet) sendPacket;
    decltype(&avcodec_receive_frame) receiveFrame;
    decltype(&av_packet_alloc) allocPacket;
    decltype(&av_packet_free) freePacket;
    decltype(&av_packet_unref) unrefPacket;
    decltype(&av_frame_alloc) allocFrame;
    decltype(&av_frame_free) freeFrame;
    decltype(&av_dict_get) dictGet;
    decltype(&av_strerror) errorText;
    decltype(&av_channel_layout_default) defaultLayout;
    decltype(&av_rescale_q) rescale;
    decltype(&av_log_set_level) setLogLevel;
    decltype(&swr_alloc_set_opts2) allocMixer;
    decltype(&swr_set_matrix) setMatrix;
    decltype(&swr_init) initMixer;
    decltype(&swr_convert) convert;
    decltype(&swr_get_out_samples) mixerOutSamples;
    decltype(&swr_free) freeMixer;

    // The libraries' functions, found once for the whole process; nullptr when they cannot be
    // opened, with the reason in error.
    static const FfmpegLibrary* open(std::string& error);
    // Whether open() has been called, and so costs no loading any more; any thread.
    static bool triedToOpen();
};
