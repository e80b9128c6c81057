// What a long backing track costs in memory: the player's decoder and the overview's scan of a
// track of some hours (a ten-minute tone encoded once, its frames repeated), as resident memory
// grows from before the open. `track_memory_bench [hours]`, three by default.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "audio/Mp3Decoder.h"
#include "audio/TrackPlayer.h"
#include "practice/TrackPeaks.h"

namespace {

constexpr int kPieceSeconds = 600;

// Kilobytes from /proc/self/status: the resident set now, or at its highest.
long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string name;
    long kb = 0;
    while (in >> name) {
        if (name == field) {
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

// A CBR file without a header: the pieces' frames joined make one long track.
std::string longTrack(int hours) {
    const std::string dir = "/tmp/rz77-bench-memory";
    const std::string piece = dir + "/piece.mp3", track = dir + "/track.mp3";
    const std::string make =
        "mkdir -p " + dir + " && sox -n -r 44100 -c 2 -b 16 -e signed " + dir +
        "/piece.raw synth " + std::to_string(kPieceSeconds) +
        " sine 440 vol 0.35 2>/dev/null || python3 -c \"import math,struct,sys;"
        "sys.stdout.buffer.write(b''.join(struct.pack('<hh',v,v) for v in (int(12000*math.sin("
        "6.283185307*440*i/44100)) for i in range(44100*" +
        std::to_string(kPieceSeconds) + "))))\" > " + dir +
        "/piece.raw; lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -t -b 128 " +
        dir + "/piece.raw " + piece + " && rm " + dir + "/piece.raw";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "cannot encode the piece\n");
        std::exit(1);
    }
    std::ofstream out(track, std::ios::binary);
    for (int i = 0; i < hours * 3600 / kPieceSeconds; ++i) {
        std::ifstream in(piece, std::ios::binary);
        out << in.rdbuf();
    }
    return track;
}

void row(const char* what, long beforeKb) {
    std::printf("%-44s %7.1f MB now, %7.1f MB at most (beyond the start)\n", what,
                (statusKb("VmRSS:") - beforeKb) / 1024.0, (statusKb("VmHWM:") - beforeKb) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int hours = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::string track = longTrack(hours);
    const long before = statusKb("VmRSS:");
    std::printf("a %d-hour track, 44.1 kHz stereo at 128 kbit/s; resident memory beyond %.1f MB\n",
                hours, before / 1024.0);
    TrackPlayer player(48000);
    std::string error;
    if (!player.load(Mp3Decoder::open(track, error), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    row("player loaded (decoder, ring, stretcher)", before);
    std::atomic<bool> cancel{false};
    const TrackPeaks peaks = scanPeaks(track, cancel);
    row("overview scanned", before);
    std::printf("overview: %.1f s of track in %zu peaks\n", peaks.lengthSeconds(),
                peaks.low.size());
}
