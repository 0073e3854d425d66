#pragma once
// SetIcon of the start-up module: the screens opened from the main window's menu show the
// main window's current icon, and so the scheduler's state (on, running, off).

class QWidget;

// Gives the window the main window's current icon (none while no main window is loaded) and
// assigns its caption to itself. Errors are ignored: a null window does nothing.
void SetIcon(QWidget* frm);
