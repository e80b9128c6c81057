#include "frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsColorizeEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "HitArea.h"
#include "MIDI_CMD.h"
#include "MIDI_OUT.h"
#include "MainMenu.h"
#include "RightClickWatcher.h"
#include "StartupSettings.h"
#include "WindowRegions.h"

namespace {
constexpr int kWidthTwips = 3090;
constexpr int kHeightTwips = 4605;
constexpr double kSkinWidthTwips = 3150;  // the 210 x 310 pixel skin at 96 dpi
constexpr double kSkinHeightTwips = 4650;
constexpr int16_t kClickProgram = 127;
constexpr const char* kPlainToolTip = "rz77PlainToolTip";

void setUpTimer(QTimer& timer, int interval, Qt::TimerType type = Qt::CoarseTimer) {
    timer.setInterval(interval);
    timer.setTimerType(type);
}
}  // namespace

frmMain::frmMain(AppEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_environment(std::move(environment)),
      m_skin(QStringLiteral(":/assets/main-skin.svg")),
      m_shortcuts(*this) {
    setObjectName("frmMain");
    setWindowTitle("RZ77");
    setWindowIcon(QIcon(":/assets/icon.svg"));
    setAttribute(Qt::WA_TranslucentBackground);
    const ScreenUnits& units = m_environment.units;
    setFixedSize(units.toPixelsX(kWidthTwips), units.toPixelsY(kHeightTwips));
    setUpTimers();
    setUpMenu();
    setUpControls();
    MIDI_OUT::SetFailureSign(
        [this](const std::string& text) { showMidiTrouble(QString::fromStdString(text)); });
    Form_Load();
}

frmMain::~frmMain() {
    MIDI_OUT::SetFailureSign({});
}

void frmMain::addTroubleDisplay(QWidget* display) {
    display->setProperty(kPlainToolTip, display->toolTip());
    m_troubleDisplays.append(display);
}

void frmMain::showMidiTrouble(const QString& text) {
    for (QWidget* display : m_troubleDisplays) {
        if (text.isEmpty()) {
            display->setGraphicsEffect(nullptr);
            display->setToolTip(display->property(kPlainToolTip).toString());
            continue;
        }
        auto* red = new QGraphicsColorizeEffect(display);
        red->setColor(QColor(0xFF, 0x40, 0x30));
        display->setGraphicsEffect(red);
        display->setToolTip(tr("MIDI output fails: %1").arg(text));
    }
}

void frmMain::setUpTimers() {
    setUpTimer(tmrLoopSpeed, 1000, Qt::PreciseTimer);
    setUpTimer(tmrBPM, 60000, Qt::PreciseTimer);
    setUpTimer(tmrNote, 1000);
    setUpTimer(tmrInfoScroll, 200);
    tmrInfoScroll.start();
}

void frmMain::setUpControls() {
    const ScreenUnits& u = m_environment.units;
    auto* imgMin = new HitArea(this, "imgMin", tr("Minimise"), tr("Minimise RZ77"),
                               u.toPixels(2340, 300, 255, 195));
    auto* imgExit =
        new HitArea(this, "imgExit", tr("Exit"), tr("Exit RZ77"), u.toPixels(2640, 300, 225, 195));
    imgExit->setToolTip(QString("%1 (%2)").arg(
        imgExit->toolTip(), m_menu->exitAction->shortcut().toString(QKeySequence::NativeText)));
    connect(imgMin, &HitArea::clicked, this, &frmMain::imgMin_Click);
    connect(imgExit, &HitArea::clicked, this, &frmMain::imgExit_Click);
}

// Without a caption bar, the usual ways out come from the context menu and the keyboard.
void frmMain::setUpMenu() {
    m_menu = new MainMenu(*this, m_shortcuts);
    connect(m_menu->minimiseAction, &QAction::triggered, this, &frmMain::imgMin_Click);
    connect(m_menu->exitAction, &QAction::triggered, this, &frmMain::imgExit_Click);
    auto* rightClicks = new RightClickWatcher(*this);
    connect(rightClicks, &RightClickWatcher::clicked, m_menu,
            [this](const QPoint& at) { m_menu->popup(at); });
}

void frmMain::Form_Load() {
    applyOutline();
    state.LoopInterval = 500;
    state.CurrentNote = 52;
    state.NotePicture = 7;
    state.NoteVelocity = 127;
    loadSettings();
    state.InfoText = MainState::kStartInfoText;
    tmrLoopSpeed.setInterval(state.LoopInterval);
    // Every failure of the start-up is reported on its own; repeats are damped afterwards.
    const MIDI_OUT::ReportEveryFailure startUpReports;
    MIDI_OUT::CloseMidiOut();
    MIDI_OUT::OpenMidiOut(state.Device);
    MIDI_CMD::ProgramChange(state.channel, 0, state.Sound);
    MIDI_CMD::ProgramChange(MainState::kClickChannel, 0, kClickProgram);
}

void frmMain::loadSettings() {
    const StartupSettings settings =
        readStartupSettings(settingsPath(m_environment.programDir), MIDI_OUT::DeviceCount());
    state.channel = settings.channel;
    state.Device = settings.Device;
    state.Sound = settings.Sound;
}

QRegion frmMain::MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY) {
    const ScreenUnits& u = m_environment.units;
    state.MainRegion = polygonRegion(
        mainOutline({scaleX, scaleY, offsetX, offsetY, u.twipsPerPixelX, u.twipsPerPixelY}));
    return state.MainRegion;
}

void frmMain::applyOutline() {
    setMask(MakeRegion(1.0f, 1.0f, 0, 0));
}

void frmMain::Form_Unload() {
    MIDI_OUT::CloseMidiOut();
    hide();
}

void frmMain::imgExit_Click() {
    close();
}

void frmMain::imgMin_Click() {
    setWindowState(windowState() | Qt::WindowMinimized);
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The skin's own transparency cuts the picture where the window system only cuts input.
    painter.setClipRegion(state.MainRegion);
    painter.drawPixmap(0, 0, skinPicture());
}

// Drawing the skin's vector picture, lettering and all, costs far more than copying it; the
// information line repaints part of it five times a second.
const QPixmap& frmMain::skinPicture() {
    const qreal ratio = devicePixelRatioF();
    if (m_skinPicture.size() != size() * ratio || m_skinPicture.devicePixelRatio() != ratio) {
        m_skinPicture = QPixmap(size() * ratio);
        m_skinPicture.setDevicePixelRatio(ratio);
        m_skinPicture.fill(Qt::transparent);
        QPainter painter(&m_skinPicture);
        const ScreenUnits& u = m_environment.units;
        m_skin.render(&painter, QRectF(0, 0, kSkinWidthTwips / u.twipsPerPixelX,
                                       kSkinHeightTwips / u.twipsPerPixelY));
    }
    return m_skinPicture;
}

void frmMain::Form_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    m_move.start(QPoint(x, y));
}

void frmMain::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_move.takesPress(event->button(), at)) {
        Form_MouseDown(event->button(), event->modifiers(), at.x(), at.y());
    }
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    if (const auto from = m_move.rightDragBegins(event->position().toPoint())) {
        Form_MouseDown(Qt::RightButton, event->modifiers(), from->x(), from->y());
    }
    m_move.follow(event->globalPosition().toPoint());
}

void frmMain::mouseReleaseEvent(QMouseEvent*) {
    m_move.stop();
}

// The pointer's menu opens on a right click (RightClickWatcher), never on the press; the
// keyboard's menu key still opens it here.
void frmMain::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Mouse) {
        m_menu->popup(mapToGlobal(rect().center()));
    }
    event->accept();
}
