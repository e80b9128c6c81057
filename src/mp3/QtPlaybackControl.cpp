#include "QtPlaybackControl.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFile>
#include <QMediaDevices>
#include <QUrl>

#include "MessageReporter.h"

namespace {

// Qt Multimedia reads its backend once, when the first player is made. GStreamer is the one
// that plays MP3 on Debian and survives a missing sound server.
void chooseMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    }
}

const char* adviceFor(QMediaPlayer::Error error) {
    switch (error) {
        case QMediaPlayer::AccessDeniedError:
            return "Check that you may read the file.";
        default:
            return "Check that the file exists, is an MP3 file and plays elsewhere, and that "
                   "the GStreamer plugins (gstreamer1.0-plugins-good) are installed.";
    }
}

}  // namespace

QtPlaybackControl::QtPlaybackControl(MessageReporter& reporter, QObject* parent)
    : QObject(parent), m_reporter(reporter) {
    chooseMediaBackend();
    m_output = std::make_unique<QAudioOutput>();
    m_player = std::make_unique<QMediaPlayer>();
    m_player->setAudioOutput(m_output.get());
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this, &QtPlaybackControl::playerFailed);
}

QtPlaybackControl::~QtPlaybackControl() {
    // The player lets go of its output before the output goes.
    m_player.reset();
}

void QtPlaybackControl::setFile(const std::string& path) {
    m_reported = false;
    m_player->stop();
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    m_player->setSource(file.isEmpty() ? QUrl() : QUrl::fromLocalFile(file));
}

void QtPlaybackControl::play() {
    m_reported = false;
    // Without a sound output the player plays on in silence and says nothing.
    if (!m_player->source().isEmpty() && QMediaDevices::defaultAudioOutput().isNull()) {
        report(tr("There is no sound output to play \"%1\" on.\n\nCheck that a sound server "
                  "(PulseAudio or PipeWire) is running, then start RZ77 again.")
                   .arg(m_player->source().toLocalFile()));
    }
    m_player->play();
}

void QtPlaybackControl::stop() {
    m_player->stop();
}

void QtPlaybackControl::pause() {
    m_player->pause();
}

void QtPlaybackControl::playerFailed(QMediaPlayer::Error error, const QString& errorString) {
    if (error == QMediaPlayer::NoError) {
        return;
    }
    report(tr("The MP3 player could not play \"%1\":\n%2\n\n%3")
               .arg(m_player->source().toLocalFile(), errorString, tr(adviceFor(error))));
}

void QtPlaybackControl::report(const QString& text) {
    // One failing file raises a burst of errors; the user hears of the first.
    if (m_reported) {
        return;
    }
    m_reported = true;
    m_reporter.show(text.toStdString());
}
