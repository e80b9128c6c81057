#include "mp3/TrackPlaybackControl.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioEngine.h"
#include "audio/TrackDecoder.h"
#include "audio/TrackPlayer.h"
#include "common/MessageReporter.h"

namespace {

// Far beyond any track, and far inside the frames a player counts.
constexpr double kLatestSeconds = 1e7;

int64_t framesAt(double seconds, int rate) {
    const double onTrack = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kLatestSeconds) : 0.0;
    return std::llround(onTrack * rate);
}

}  // namespace

TrackPlaybackControl::TrackPlaybackControl(AudioEngine& engine, MessageReporter& reporter)
    : m_engine(engine), m_reporter(reporter) {}

TrackPlaybackControl::~TrackPlaybackControl() {
    m_engine.setStreamSource(nullptr);
}

void TrackPlaybackControl::setFile(const std::string& path) {
    openFile(path);
    if (m_fileListener) {
        m_fileListener();
    }
}

// The file is checked and decoding starts at once, so the first play sounds without delay.
void TrackPlaybackControl::openFile(const std::string& path) {
    m_path = path;
    m_fileReady = m_loaded = false;
    m_tags = {};
    std::string error;
    if (m_player) {
        m_player->load(nullptr, error);
    }
    if (path.empty()) {
        return;  // nothing to play, and nothing wrong
    }
    auto decoder = openTrackDecoder(path, error);
    if (!decoder) {
        m_reporter.show("The track player could not play \"" + path + "\":\n" + error +
                        "\n\nCheck that the file exists, is an audio file (MP3, M4A, FLAC, WAV, "
                        "AIFF, Ogg or Opus) and plays elsewhere.");
        return;
    }
    m_fileReady = true;
    m_stamp = stampOf(path);
    m_estimatedSeconds = decoder->estimatedSeconds();
    m_tags = decoder->tags();
    if (startEngine() && load(std::move(decoder))) {
        // The panel keeps showing the loop of a file opened again, so the player keeps it too.
        setLoop(m_loopFile == path ? m_loop : std::nullopt);
    }
}

std::optional<TrackPlaybackControl::FileStamp> TrackPlaybackControl::stampOf(
    const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (!error) {
        stamp.written = std::filesystem::last_write_time(path, error);
    }
    return error ? std::nullopt : std::optional(stamp);
}

bool TrackPlaybackControl::load(std::unique_ptr<TrackDecoder> decoder) {
    std::string error;
    m_loaded = m_player->load(std::move(decoder), error);
    if (!m_loaded) {
        m_reporter.show("The track player cannot play \"" + m_path + "\" on this sound output:\n" +
                        error + "\n\nConverting it to another file may help.");
    }
    return m_loaded;
}

void TrackPlaybackControl::play() {
    if (!m_fileReady) {
        return;
    }
    std::string error;
    // A file changed since it was opened is opened again: what it holds now plays, or the user
    // is told why nothing can.
    if (!m_loaded || !m_engine.healthy(error) || stampOf(m_path) != m_stamp) {
        setFile(std::string(m_path));  // the sound server may be back
        if (!m_loaded) {
            return;
        }
    }
    m_player->play();
    m_engine.wake();
}

void TrackPlaybackControl::pause() {
    if (m_player) {
        m_player->pause();
    }
}

void TrackPlaybackControl::stop() {
    if (m_player) {
        m_player->stop();
    }
}

bool TrackPlaybackControl::playing() const {
    return m_loaded && m_player->playing();
}

double TrackPlaybackControl::positionSeconds() const {
    return m_loaded ? static_cast<double>(m_player->playedFrames()) / m_player->streamRate() : 0;
}

void TrackPlaybackControl::seek(double seconds) {
    if (m_loaded) {
        m_player->seek(framesAt(seconds, m_player->streamRate()));
        m_engine.wake();
    }
}

void TrackPlaybackControl::setLoop(std::optional<std::pair<double, double>> loop) {
    m_loop = loop;
    m_loopFile = m_path;
    if (!m_loaded) {
        return;
    }
    const int rate = m_player->streamRate();
    m_player->setLoop(loop ? std::optional<TrackPlayer::Loop>(
                                 {framesAt(loop->first, rate), framesAt(loop->second, rate)})
                           : std::nullopt);
    m_engine.wake();
}

bool TrackPlaybackControl::startEngine() {
    std::string error;
    if (!m_engine.start(error)) {
        m_reporter.show("There is no sound output to play \"" + m_path + "\" on.\n" + error +
                        "\n\nCheck that a sound server (PulseAudio or PipeWire) is running, then "
                        "press PLAY again.");
        return false;
    }
    // A server started again may run at another rate.
    if (m_player && m_player->streamRate() != m_engine.streamRate()) {
        m_engine.setStreamSource(nullptr);
        m_player.reset();
    }
    if (!m_player) {
        m_player = std::make_unique<TrackPlayer>(m_engine.streamRate());
        m_engine.setStreamSource(m_player.get());
        applyPractice();
    }
    return true;
}

void TrackPlaybackControl::setTuning(const TrackTuning& tuning) {
    m_tuning = tuning;
    applyPractice();
}

void TrackPlaybackControl::setTrainer(std::optional<SpeedTrainer> trainer) {
    m_trainer = trainer;
    applyPractice();
}

void TrackPlaybackControl::setCountIn(std::optional<double> beatsPerMinute) {
    m_countIn = beatsPerMinute;
    applyPractice();
}

void TrackPlaybackControl::setFasterStretch(bool faster) {
    m_fasterStretch = faster;
    applyPractice();
}

void TrackPlaybackControl::setGrid(std::optional<BeatGrid> grid) {
    m_grid = std::move(grid);
    applyPractice();
}

void TrackPlaybackControl::setSongClick(std::optional<TrackTimeline::SongClick> click) {
    m_songClick = std::move(click);
    applyPractice();
}

double TrackPlaybackControl::playingSpeed() const {
    return m_loaded ? m_player->playingSpeed() : m_tuning.speed;
}

TrackTimeline::PassesHeard TrackPlaybackControl::takePassesHeard() {
    return m_loaded ? m_player->takePassesHeard() : TrackTimeline::PassesHeard{};
}

std::vector<TrackPlayer::ComingBeat> TrackPlaybackControl::takeComingBeats() {
    return m_loaded ? m_player->takeComingBeats() : std::vector<TrackPlayer::ComingBeat>{};
}

void TrackPlaybackControl::applyPractice() {
    if (m_player) {
        m_player->setTuning(m_tuning);
        m_player->setTrainer(m_trainer);
        m_player->setCountIn(m_countIn);
        m_player->setFasterStretch(m_fasterStretch);
        m_player->setGrid(m_grid);
        m_player->setSongClick(m_songClick);
        m_engine.wake();
    }
}
