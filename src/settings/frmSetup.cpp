#include "frmSetup.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <stdexcept>

#include "ComboDeviceList.h"
#include "HitArea.h"
#include "INIReadWrite.h"
#include "InstrumentList.h"
#include "MIDI_CMD.h"
#include "MIDI_OUT.h"
#include "MessageReporter.h"
#include "RightClickWatcher.h"
#include "SkinComboBox.h"
#include "StartupSettings.h"
#include "TextLines.h"
#include "WindowRegions.h"
#include "frmMain.h"

namespace {
constexpr int kWidthTwips = 4785;
constexpr int kHeightTwips = 1815;
constexpr double kSkinWidthTwips = 4800;  // the 320 x 120 pixel skin at 96 dpi
constexpr double kSkinHeightTwips = 1800;
constexpr int kFontTwips = 165;
constexpr int kChannelCount = 16;

// The same names ship beside the program; these keep the dialog usable without that file.
std::vector<std::string> builtInInstrumentNames() {
    QFile names(QStringLiteral(":/assets/genmidi.rz"));
    names.open(QIODevice::ReadOnly);
    return TextLines::splitLines(names.readAll().toStdString());
}

// A list position is sent as a program only when it is one; anything else is dropped.
int16_t asProgram(int position) {
    return position >= 0 && position <= 127 ? static_cast<int16_t>(position) : int16_t{-1};
}
}  // namespace

frmSetup::frmSetup(frmMain& main, MessageReporter& reporter)
    : QDialog(&main, Qt::Dialog | Qt::FramelessWindowHint),
      m_main(main),
      m_reporter(reporter),
      m_skin(QStringLiteral(":/assets/setup-skin.svg")),
      m_move(*this) {
    setObjectName("frmSetup");
    setWindowTitle(tr("RZ77 Setup"));
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::ApplicationModal);
    const ScreenUnits& u = m_main.environment().units;
    setFixedSize(u.toPixelsX(kWidthTwips), u.toPixelsY(kHeightTwips));
    createControls();
    Form_Load();
    connectHandlers();
    setUpMenu();
    centreOnScreen();
}

// The same safe right click as on the main window: a click, never a drag, opens it.
void frmSetup::setUpMenu() {
    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("&Close")), &QAction::triggered, this, &frmSetup::imgCancel_Click);
    auto* rightClicks = new RightClickWatcher(*this);
    connect(rightClicks, &RightClickWatcher::clicked, menu,
            [menu](const QPoint& at) { menu->popup(at); });
}

void frmSetup::createControls() {
    const ScreenUnits& u = m_main.environment().units;
    const int font = u.toPixelsY(kFontTwips);
    cboDevice = new SkinComboBox(this, "cboDevice", tr("MIDI device"),
                                 tr("The MIDI output: the built-in synthesizer or a MIDI port"),
                                 u.toPixels(330, 750, 1785, 315), font);
    cboSounds = new SkinComboBox(this, "cboSounds", tr("Instrument"),
                                 tr("The instrument the reference notes sound with"),
                                 u.toPixels(2400, 750, 2025, 315), font);
    cboChannel = new SkinComboBox(this, "cboChannel", tr("MIDI channel"),
                                  tr("The MIDI channel of the reference notes, 1 to 16"),
                                  u.toPixels(1470, 1140, 645, 315), font);
    setTabOrder(cboDevice, cboSounds);
    setTabOrder(cboSounds, cboChannel);
    auto* imgOK = new HitArea(this, "imgOK", tr("OK"), tr("Use and keep these settings"),
                              u.toPixels(3270, 1290, 345, 225));
    auto* imgCancel = new HitArea(this, "imgCancel", tr("Cancel"), tr("Close without saving"),
                                  u.toPixels(3870, 1320, 615, 165));
    connect(imgOK, &HitArea::clicked, this, &frmSetup::imgOK_Click);
    connect(imgCancel, &HitArea::clicked, this, &frmSetup::imgCancel_Click);
}

// Connected only once the lists are filled, so that filling them sends nothing.
void frmSetup::connectHandlers() {
    connect(cboDevice, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            cboDevice_Click();
        }
    });
    connect(cboSounds, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            cboSounds_Click();
        }
    });
    connect(cboChannel->lineEdit(), &QLineEdit::textEdited, this, &frmSetup::cboChannel_Change);
}

void frmSetup::Form_Load() {
    setMask(MakeRegion(1.0f, 1.0f, 0, 0));
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        cboChannel->addItem(QString::number(channel));
    }
    fillSounds();
    ComboDeviceList devices(*cboDevice);
    MIDI_OUT::ListMidiOutDevices(devices);
    for (SkinComboBox* box : {cboDevice, cboSounds, cboChannel}) {
        box->setCurrentIndex(-1);
    }
}

void frmSetup::fillSounds() {
    const auto names = InstrumentList::read(m_main.environment().programDir);
    for (const std::string& name : names ? *names : builtInInstrumentNames()) {
        cboSounds->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
}

QRegion frmSetup::MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY) {
    const ScreenUnits& u = m_main.environment().units;
    SetupRegion = roundRectRegion(
        setupOutline({scaleX, scaleY, offsetX, offsetY, u.twipsPerPixelX, u.twipsPerPixelY}));
    return SetupRegion;
}

void frmSetup::centreOnScreen() {
    if (const QScreen* screen = m_main.screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

std::optional<int32_t> frmSetup::selectedDevice() const {
    const int index = cboDevice->ListIndex();
    if (index < 0) {
        return std::nullopt;
    }
    return cboDevice->itemData(index).toInt();
}

void frmSetup::cboChannel_Change() {
    // Text that names no channel leaves the notes on the channel they had.
    const int index = cboChannel->ListIndex();
    if (index >= 0) {
        m_main.state.channel = static_cast<int16_t>(index);
    }
}

void frmSetup::cboDevice_Click() {
    if (const auto device = selectedDevice()) {
        MIDI_OUT::CloseMidiOut();
        MIDI_OUT::OpenMidiOut(static_cast<int16_t>(*device));
    }
}

void frmSetup::cboSounds_Click() {
    MIDI_CMD::ProgramChange(0, 0, asProgram(cboSounds->ListIndex()));
}

void frmSetup::imgOK_Click() {
    // The writes let events run; a second OK or a Cancel meanwhile must not start another.
    if (m_okRunning) {
        return;
    }
    m_okRunning = true;
    const bool stored = applyAndStore();
    m_okRunning = false;
    if (stored) {
        unload();
    }
}

// Each value is read from its control at its own step, as the user may still change them while
// the file is being written.
bool frmSetup::applyAndStore() {
    if (const auto device = selectedDevice()) {
        MIDI_OUT::CloseMidiOut();
        MIDI_OUT::OpenMidiOut(static_cast<int16_t>(*device));
    }
    MIDI_CMD::ProgramChange(m_main.state.channel, 0, asProgram(cboSounds->ListIndex()));
    // With no device chosen the stored one stays, rather than storing something never chosen.
    if (const auto device = selectedDevice(); device && !store("Device", *device)) {
        return false;
    }
    return store("Sound", cboSounds->ListIndex()) && store("Channel", cboChannel->ListIndex() + 1);
}

bool frmSetup::store(const char* section, long value) {
    try {
        INIReadWrite::WriteINI(section, "ID", value, settingsPath(m_main.environment().programDir),
                               [] { QCoreApplication::processEvents(); });
        return true;
    } catch (const std::exception& e) {
        m_reporter.show(tr("The settings could not be saved: %1").arg(e.what()).toStdString());
        return false;
    }
}

void frmSetup::imgCancel_Click() {
    if (!m_okRunning) {
        unload();
    }
}

void frmSetup::unload() {
    hide();
    deleteLater();
}

void frmSetup::reject() {
    imgCancel_Click();
}

void frmSetup::closeEvent(QCloseEvent* event) {
    event->ignore();
    imgCancel_Click();
}

void frmSetup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setClipRegion(SetupRegion);
    const ScreenUnits& u = m_main.environment().units;
    m_skin.render(&painter, QRectF(0, 0, kSkinWidthTwips / u.twipsPerPixelX,
                                   kSkinHeightTwips / u.twipsPerPixelY));
}

void frmSetup::Form_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    m_move.start(QPoint(x, y));
}

void frmSetup::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_move.takesPress(event->button(), at)) {
        Form_MouseDown(event->button(), event->modifiers(), at.x(), at.y());
    }
}

void frmSetup::mouseMoveEvent(QMouseEvent* event) {
    if (const auto from = m_move.rightDragBegins(event->position().toPoint())) {
        Form_MouseDown(Qt::RightButton, event->modifiers(), from->x(), from->y());
    }
    m_move.follow(event->globalPosition().toPoint());
}

void frmSetup::mouseReleaseEvent(QMouseEvent*) {
    m_move.stop();
}
