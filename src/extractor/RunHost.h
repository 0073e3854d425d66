#pragma once
// How a run reaches the screen without knowing windows: the status bar's first panel, the
// mouse pointer, the modal critical message and the mail window. The main window and the
// manual-run screen implement it; tests put a recorder in its place.

#include <QString>

class MailHost;

class RunHost {
public:
    virtual ~RunHost() = default;

    // The text of the status bar's first panel, and a repaint so it is seen during a long step.
    virtual void SetPanelText(const QString& text) = 0;
    virtual void RefreshStatusBar() = 0;

    // The busy pointer while a step works, the default pointer after it.
    virtual void SetBusyPointer(bool busy) = 0;

    // A modal message box with the critical icon and an OK button ("Falha no Processo");
    // returns when it is answered.
    virtual void ShowCriticalMessage(const QString& text) = 0;

    // The mail window; nullptr where no mail can be sent.
    virtual MailHost* Mail() = 0;
};
