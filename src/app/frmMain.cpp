#include "app/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsColorizeEffect>

#include "app/HitArea.h"
#include "app/MainMenu.h"
#include "app/SkinnedWindow.h"
#include "app/WindowRegions.h"
#include "common/ClickProgram.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/MidiOutput.h"
#include "settings/StartupSettings.h"

namespace {
constexpr int kWidthTwips = 3090;
constexpr int kHeightTwips = 4605;
constexpr double kSkinWidthTwips = 3150;  // the 210 x 310 pixel skin at 96 dpi
constexpr double kSkinHeightTwips = 4650;
constexpr const char* kPlainToolTip = "rz77PlainToolTip";
}  // namespace

frmMain::frmMain(AppEnvironment environment, MidiOutput& output, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_environment(std::move(environment)),
      m_output(output),
      m_skin(new SkinnedWindow(*this, QStringLiteral(":/assets/main-skin.svg"),
                               m_environment.units.toPixelsF(kSkinWidthTwips, kSkinHeightTwips),
                               [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                      int y) { Form_MouseDown(button, shift, x, y); })),
      m_shortcuts(*this) {
    setObjectName("frmMain");
    setWindowTitle("RZ77");
    setWindowIcon(QIcon(":/assets/icon.svg"));
    const ScreenUnits& units = m_environment.units;
    setFixedSize(units.toPixelsX(kWidthTwips), units.toPixelsY(kHeightTwips));
    setUpMenu();
    setUpControls();
    m_output.setFailureSign(
        [this](const std::string& text) { showMidiTrouble(QString::fromStdString(text)); });
    Form_Load();
}

frmMain::~frmMain() {
    m_output.setFailureSign({});
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
    m_skin->setMenu(*m_menu);
}

void frmMain::Form_Load() {
    applyOutline();
    voice.CurrentNote = 52;
    voice.NoteVelocity = 127;
    loadSettings();
    // Every failure of the start-up is reported on its own; repeats are damped afterwards.
    const MidiOutput::ReportEveryFailure startUpReports(m_output);
    MIDI_OUT::CloseMidiOut(m_output);
    MIDI_OUT::OpenMidiOut(m_output, state.Device);
    selectInstrument(voice.channel, state.Sound);
    selectInstrument(kClickChannel, kClickProgram);
}

void frmMain::selectInstrument(int16_t channel, int16_t program) {
    MIDI_CMD::ProgramChange(m_output, channel, 0, program);
    voice.selected(channel, program);
}

void frmMain::loadSettings() {
    const StartupSettings settings =
        readStartupSettings(settingsPath(m_environment.programDir),
                            [this](int32_t port) { return m_output.system().hasPort(port); });
    voice.channel = settings.channel;
    state.Device = settings.Device;
    state.Sound = settings.Sound;
}

QRegion frmMain::MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY) {
    const ScreenUnits& u = m_environment.units;
    MainRegion = polygonRegion(
        mainOutline({scaleX, scaleY, offsetX, offsetY, u.twipsPerPixelX, u.twipsPerPixelY}));
    return MainRegion;
}

void frmMain::applyOutline() {
    m_skin->setOutline(MakeRegion(1.0f, 1.0f, 0, 0));
}

void frmMain::Form_Unload() {
    MIDI_OUT::CloseMidiOut(m_output);
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

void frmMain::Form_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    m_skin->startMove(QPoint(x, y));
}
