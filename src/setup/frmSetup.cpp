#include "setup/frmSetup.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <stdexcept>

#include "app/HitArea.h"
#include "app/MainWindowHost.h"
#include "app/SkinnedWindow.h"
#include "app/WindowRegions.h"
#include "common/MessageReporter.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/ReferenceVoice.h"
#include "settings/INIReadWrite.h"
#include "settings/InstrumentList.h"
#include "settings/StartupSettings.h"
#include "settings/TextLines.h"
#include "setup/ComboDeviceList.h"
#include "setup/SkinComboBox.h"

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

frmSetup::frmSetup(MainWindowHost& main, MidiOutput& output, ReferenceVoice& voice,
                   MessageReporter& reporter)
    : QDialog(&main.widget(), Qt::Dialog | Qt::FramelessWindowHint),
      m_main(main),
      m_output(output),
      m_voice(voice),
      m_reporter(reporter),
      m_skin(
          new SkinnedWindow(*this, QStringLiteral(":/assets/setup-skin.svg"),
                            main.environment().units.toPixelsF(kSkinWidthTwips, kSkinHeightTwips),
                            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                   int y) { Form_MouseDown(button, shift, x, y); })) {
    setObjectName("frmSetup");
    setWindowTitle(tr("RZ77 Setup"));
    setWindowModality(Qt::ApplicationModal);
    const ScreenUnits& u = m_main.environment().units;
    setFixedSize(u.toPixelsX(kWidthTwips), u.toPixelsY(kHeightTwips));
    createControls();
    Form_Load();
    connectHandlers();
    setUpMenu();
    centreOnScreen(*this, m_main.widget().screen());
}

// The same safe right click as on the main window: a click, never a drag, opens it.
void frmSetup::setUpMenu() {
    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("&Close")), &QAction::triggered, this, &frmSetup::imgCancel_Click);
    m_skin->setMenu(*menu);
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
    m_skin->setOutline(MakeRegion(1.0f, 1.0f, 0, 0));
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        cboChannel->addItem(QString::number(channel));
    }
    fillSounds();
    ComboDeviceList devices(*cboDevice);
    MIDI_OUT::ListMidiOutDevices(m_output, devices);
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
        m_voice.channel = static_cast<int16_t>(index);
        m_voice.program = m_output.program(m_voice.channel).value_or(m_main.startupSound());
    }
}

void frmSetup::cboDevice_Click() {
    if (const auto device = selectedDevice()) {
        MIDI_OUT::CloseMidiOut(m_output);
        MIDI_OUT::OpenMidiOut(m_output, static_cast<int16_t>(*device));
    }
}

void frmSetup::cboSounds_Click() {
    selectInstrument(0, asProgram(cboSounds->ListIndex()));
}

void frmSetup::selectInstrument(int16_t channel, int16_t program) {
    MIDI_CMD::ProgramChange(m_output, channel, 0, program);
    m_voice.selected(channel, program);
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
        MIDI_OUT::CloseMidiOut(m_output);
        MIDI_OUT::OpenMidiOut(m_output, static_cast<int16_t>(*device));
    }
    selectInstrument(m_voice.channel, asProgram(cboSounds->ListIndex()));
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

void frmSetup::Form_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    m_skin->startMove(QPoint(x, y));
}
