#include "app/frmSplash.h"

#include "app/SkinnedWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {
constexpr int kWidthTwips = 4500;
constexpr int kHeightTwips = 3000;

}  // namespace

frmSplash::frmSplash(AppEnvironment environment, MainWindowFactory createMainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_environment(std::move(environment)),
      m_createMainWindow(std::move(createMainWindow)),
      m_picture(QStringLiteral(":/assets/splash.svg")) {
    setObjectName("frmSplash");
    setWindowTitle("RZ77");
    const ScreenUnits& u = m_environment.units;
    setFixedSize(u.toPixelsX(kWidthTwips), u.toPixelsY(kHeightTwips));
    centreOnScreen(*this, QGuiApplication::primaryScreen());
    tmrSplash.setInterval(3000);
    tmrSplash.setSingleShot(true);
    connect(&tmrSplash, &QTimer::timeout, this, &frmSplash::tmrSplash_Timer);
}

void frmSplash::Form_Load() {
    tmrSplash.start();
}

void frmSplash::tmrSplash_Timer() {
    tmrSplash.stop();
    close();
    QWidget* main = m_createMainWindow(m_environment);
    main->setAttribute(Qt::WA_DeleteOnClose);
    centreOnScreen(*main, QGuiApplication::primaryScreen());
    main->show();
    emit mainWindowShown(main);
}

void frmSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_picture.render(&painter, QRectF(rect()));
}
