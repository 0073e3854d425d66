#pragma once
// The message-box service. Every box the system shows goes through MsgBox, so that the core
// never touches a widget: the GUI library installs a host that shows real Qt boxes; without a
// host (and under Qt's offscreen platform) the box is written to standard error and answered
// with its default button, so an unattended run never hangs on a box nobody can see.

#include <QString>

namespace platform {

// Style bits, as the system's callers pass them (buttons + icon + default button).
namespace mb {
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;
}  // namespace mb

// Answers.
namespace mr {
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace mr

class MessageBoxHost {
public:
    virtual ~MessageBoxHost() = default;
    // Shows the box and returns the answer (one of mr::*).
    virtual int show(const QString& text, int style, const QString& title) = 0;
};

// Shows a message box; an empty title means the program's title (appTitle()).
int MsgBox(const QString& text, int style = mb::OKOnly, const QString& title = QString());

// The answer a box of this style gives when nobody can answer it: its default button.
int defaultAnswer(int style);

// Installs the host that shows boxes (nullptr restores the standard-error host).
// The host is not owned; it must outlive its installation.
void setMessageBoxHost(MessageBoxHost* host);
MessageBoxHost* messageBoxHost();

// The program's title, under which boxes without a title are shown.
QString appTitle();

// The standard-error host: writes the box as one line, "[<title>] <text>" (line breaks shown
// as " | ", other control characters as blanks), and answers with the default button.
int showOnStandardError(const QString& text, int style, const QString& title);
QString messageBoxLine(const QString& text, const QString& title);

}  // namespace platform
