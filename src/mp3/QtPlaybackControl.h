#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <memory>

#include "PlaybackControl.h"

class MessageReporter;
class QAudioOutput;

// The MP3 player on Qt Multimedia, playing to the default sound output. What goes wrong while
// a file is opened or played is told to the user through the reporter.
class QtPlaybackControl : public QObject, public PlaybackControl {
    Q_OBJECT
public:
    explicit QtPlaybackControl(MessageReporter& reporter, QObject* parent = nullptr);
    ~QtPlaybackControl() override;

    void setFile(const std::string& path) override;
    void play() override;
    void stop() override;
    void pause() override;

private:
    void playerFailed(QMediaPlayer::Error error, const QString& errorString);
    void report(const QString& text);

    MessageReporter& m_reporter;
    std::unique_ptr<QAudioOutput> m_output;
    std::unique_ptr<QMediaPlayer> m_player;
    bool m_reported = false;  // since the last file or play request
};
