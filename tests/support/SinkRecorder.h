#pragma once

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

// Records the null sink's monitor for a fixed time on a thread of its own.
class SinkRecorder {
public:
    static constexpr int kRate = 48000;
    explicit SinkRecorder(int seconds) {
        const std::string command = "timeout " + std::to_string(seconds) +
                                    " pacat --record -d nullsink.monitor --format=float32le "
                                    "--rate=48000 --channels=1 --latency-msec=20";
        m_pipe = popen(command.c_str(), "r");
        m_reader = std::thread([this] {
            float buffer[4096];
            size_t got;
            while ((got = fread(buffer, sizeof(float), 4096, m_pipe)) > 0) {
                samples.insert(samples.end(), buffer, buffer + got);
            }
        });
    }
    void wait() {
        m_reader.join();
        pclose(m_pipe);
    }
    std::vector<float> samples;

private:
    FILE* m_pipe;
    std::thread m_reader;
};
