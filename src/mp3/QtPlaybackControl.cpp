#include "QtPlaybackControl.h"

#include <QAudioOutput>
#include <QFile>
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
        case QMediaPlayer::FormatError:
            return "Check that the file is an MP3 file and that the GStreamer plugins "
                   "(gstreamer1.0-plugins-good) are installed.";
        case QMediaPlayer::AccessDeniedError:
            return "Check that you may read the file.";
        default:
            return "Check that the file exists and can be read, and that a sound server "
                   "(PulseAudio or PipeWire) is running.";
    }
}

}  // namespace

QtPlaybackControl::QtPlaybackControl(MessageReporter& reporter, QObject* parent)
    : QObject(parent), m_reporter(reporter) {
    chooseMediaBackend();
    m_output = std::make_unique<QAudioOutput>();
    m_player = std::make_unique<QMediaPlayer>();
    m_player->setAudioOutput(m_output.get());
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this, &QtPlaybackControl::report);
}

QtPlaybackControl::~QtPlaybackControl() {
    // The player lets go of its output before the output goes.
    m_player.reset();
}

void QtPlaybackControl::setFile(const std::string& path) {
    m_player->stop();
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    m_player->setSource(file.isEmpty() ? QUrl() : QUrl::fromLocalFile(file));
}

void QtPlaybackControl::play() {
    m_player->play();
}

void QtPlaybackControl::stop() {
    m_player->stop();
}

void QtPlaybackControl::pause() {
    m_player->pause();
}

void QtPlaybackControl::report(QMediaPlayer::Error error, const QString& errorString) {
    if (error == QMediaPlayer::NoError) {
        return;
    }
    const QString file = m_player->source().toLocalFile();
    const QString text = QObject::tr("The MP3 player could not play \"%1\":\n%2\n\n%3")
                             .arg(file, errorString, QString::fromUtf8(adviceFor(error)));
    m_reporter.show(text.toStdString());
}
