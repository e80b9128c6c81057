#pragma once

#include <QWidget>
#include <cstdint>

#include "app/AppEnvironment.h"

class MainMenu;
class ShortcutKeys;

// What a tool gets from the main window it sits on: the window to place its controls on, its
// units and folders, its keys and menu, its trouble displays, and the instrument it started with.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;

    virtual QWidget& widget() = 0;
    virtual const AppEnvironment& environment() const = 0;
    virtual ShortcutKeys& shortcuts() = 0;
    virtual MainMenu& contextMenu() = 0;
    // A display whose lettering turns red, with the error as its tooltip, while the MIDI output
    // keeps failing after its first report.
    virtual void addTroubleDisplay(QWidget* display) = 0;
    // A press on a window's body at (x, y) of the main window moves the main window.
    virtual void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                int y) = 0;
    // The instrument selected at start-up, which Setup presets.
    virtual int16_t startupSound() const = 0;
};
