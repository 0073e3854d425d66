#pragma once
// The image the program's screens show: the main window's current icon, which tells the
// scheduler's state (on, running, off). The main window names itself here when it loads, so
// that the screens opened from it take its icon without reaching up into the extractor.

class QWidget;

namespace util {

// The window whose icon the screens take; nullptr (or a window since destroyed) for none.
void setJanelaDoIcone(QWidget* janela);

}  // namespace util

// SetIcon of the start-up module: gives the window the main window's current icon (none while
// no main window is loaded) and assigns its caption to itself. A null window does nothing.
void SetIcon(QWidget* frm);
