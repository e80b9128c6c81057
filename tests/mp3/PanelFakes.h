#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "mp3/FileDialog.h"
#include "mp3/PlaybackControl.h"

// Answers each ShowOpen with the next scripted choice; nullopt is a cancel.
class ScriptedDialog : public FileDialog {
public:
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> filters;

    void Filter(const std::string& filter) override { filters.push_back(filter); }
    void ShowOpen() override {
        ASSERT_FALSE(answers.empty());
        if (answers.front()) {
            m_fileName = *answers.front();
        }
        answers.pop_front();
    }
    std::string FileName() const override { return m_fileName; }

private:
    std::string m_fileName;
};

class RecordingPlayer : public PlaybackControl {
public:
    std::vector<std::string> calls;
    void setFile(const std::string& path) override { calls.push_back("file " + path); }
    void play() override { calls.push_back("play"); }
    void stop() override { calls.push_back("stop"); }
    void pause() override { calls.push_back("pause"); }
};
