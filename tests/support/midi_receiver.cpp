// Test tool: a JACK MIDI input port named "rz77-receiver" that prints each message it receives
// as hex bytes, one line per message, until it is terminated. With --times each line starts
// with the seconds since the first message.
#include <RtMidi.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace {
volatile std::sig_atomic_t g_stop = 0;
bool g_times = false;
double g_elapsed = 0;

void print(double sincePrevious, std::vector<unsigned char>* message, void*) {
    g_elapsed += sincePrevious;
    if (g_times) {
        std::printf("%.4f ", g_elapsed);
    }
    for (size_t i = 0; i < message->size(); ++i) {
        std::printf(i == 0 ? "%02x" : " %02x", (*message)[i]);
    }
    std::printf("\n");
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    g_times = argc > 1 && std::string(argv[1]) == "--times";
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    try {
        RtMidiIn in(RtMidi::UNIX_JACK, "rz77-test");
        in.setCallback(print);
        in.openVirtualPort("rz77-receiver");
        std::printf("ready\n");
        std::fflush(stdout);
        while (!g_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const RtMidiError& e) {
        std::fprintf(stderr, "%s\n", e.getMessage().c_str());
        return 1;
    }
    return 0;
}
