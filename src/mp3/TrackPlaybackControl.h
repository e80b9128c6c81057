#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/BeatGrid.h"
#include "audio/SpeedTrainer.h"
#include "audio/TrackDecoder.h"
#include "audio/TrackPlayer.h"
#include "audio/TrackTimeline.h"
#include "audio/TrackTuning.h"
#include "mp3/PlaybackControl.h"

class AudioEngine;
class MessageReporter;

// The track player on the program's own audio engine: the file (MP3 or any other common audio
// format) is decoded by us and mixed into the engine's stream, whatever the MIDI device. What goes
// wrong is told to the user through the reporter, once per request.
class TrackPlaybackControl : public PlaybackControl {
public:
    TrackPlaybackControl(AudioEngine& engine, MessageReporter& reporter);
    ~TrackPlaybackControl() override;

    void setFile(const std::string& path) override;
    void play() override;
    void stop() override;
    void pause() override;

    // For the practice panel: the file in the player, where it stands, and a move within it.
    const std::string& file() const { return m_path; }
    bool loaded() const { return m_loaded; }
    // The file decodes, whether or not there is a sound output to play it on.
    bool decodes() const { return m_fileReady; }
    bool playing() const;
    double positionSeconds() const;
    // As the file tells it when it is opened (decoding it all takes a while).
    double estimatedSeconds() const { return m_loaded ? m_estimatedSeconds : 0; }
    // What the file says of itself, read when it was opened.
    const TrackTags& tags() const { return m_tags; }
    void seek(double seconds);
    // Seconds from and to; nothing ends the loop. It holds while the same file is opened again.
    void setLoop(std::optional<std::pair<double, double>> loop);
    // Kept for every track the player is given.
    void setTuning(const TrackTuning& tuning);
    void setTrainer(std::optional<SpeedTrainer> trainer);
    void setCountIn(std::optional<double> beatsPerMinute);
    void setFasterStretch(bool faster);
    // The beats of the file in the player, and the click on them while it plays.
    void setGrid(std::optional<BeatGrid> grid);
    void setSongClick(std::optional<TrackTimeline::SongClick> click);
    double playingSpeed() const;
    // The loop's passes played whole since the last call, and the fastest of them.
    TrackTimeline::PassesHeard takePassesHeard();
    // The beats of the grid the track is about to play, with when each is heard; for the timing
    // coach, which measures against them.
    std::vector<TrackPlayer::ComingBeat> takeComingBeats();
    // Told after every change of file, so that whoever follows the track need not look while no
    // file is open.
    void setFileListener(std::function<void()> listener) { m_fileListener = std::move(listener); }

private:
    // What tells a file changed since it was opened: emptied, replaced or gone.
    struct FileStamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type written{};
        bool operator==(const FileStamp&) const = default;
    };
    static std::optional<FileStamp> stampOf(const std::string& path);

    void openFile(const std::string& path);
    bool startEngine();
    bool load(std::unique_ptr<TrackDecoder> decoder);
    void applyPractice();

    AudioEngine& m_engine;
    MessageReporter& m_reporter;
    std::unique_ptr<TrackPlayer> m_player;  // made once the engine's stream rate is known
    std::string m_path;
    bool m_fileReady = false;  // the file decodes
    bool m_loaded = false;     // and is in the player
    std::optional<FileStamp> m_stamp;
    double m_estimatedSeconds = 0;
    TrackTags m_tags;
    TrackTuning m_tuning;
    std::optional<SpeedTrainer> m_trainer;
    std::optional<double> m_countIn;
    bool m_fasterStretch = false;
    std::optional<BeatGrid> m_grid;
    std::optional<TrackTimeline::SongClick> m_songClick;
    std::optional<std::pair<double, double>> m_loop;
    std::string m_loopFile;  // the file the loop was set on
    std::function<void()> m_fileListener;
};
