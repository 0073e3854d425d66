#pragma once
// modSysTray: the one notification-area icon of the program. The icon is described by the
// record the notification area takes (FillNotifyIconData) and handed over with one call of
// Shell_NotifyIcon per operation, as the program always did; here that call is carried by a
// QSystemTrayIcon. The icon's mouse events reach the window named in the record as its
// Form_MouseMove with the event code (0x203 a left double click, 0x205 the right button
// released).
//
// Where there is no notification area (no desktop, Qt's offscreen platform) adding the icon
// fails quietly and nothing is shown; the record of what would be shown is kept all the same,
// so the rest of the program, and its tests, go on as with an icon. On a desktop people see
// that has no notification area, the main window is shown at start instead
// (janelaVisivelAoIniciar).

#include <QIcon>
#include <QPointer>
#include <QString>
#include <cstdint>

class QSystemTrayIcon;
class QWidget;

// Operations of Shell_NotifyIcon.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;
// Valid fields of the record.
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
// Window messages: the callback message and the event codes it carries.
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x205;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x208;

// The icon's description in its first layout: 88 bytes, single-byte tooltip of 64 characters.
struct NOTIFYICONDATA {
    std::uint32_t cbSize = 0;
    QPointer<QWidget> hWnd;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;  // always 64 characters: the tip, a character 0, blanks
};

inline constexpr std::uint32_t kNotifyIconDataSize = 88;
inline constexpr int kTipLength = 64;

// Writes the seven fields in order. The tip is followed by a character 0 and filled with
// blanks to 64 characters; a longer tip is cut to 64.
void FillNotifyIconData(NOTIFYICONDATA& t, QWidget* hWnd, std::uint32_t uID, std::uint32_t uFlags,
                        std::uint32_t uCallbackMessage, const QIcon& hIcon, const QString& strTip);

// Adds, modifies or deletes the icon of the record's window and identifier. False for an icon
// added twice, or one modified or deleted that was never added. Without a notification area
// the operation is recorded (estadoTray) but nothing is shown.
bool Shell_NotifyIcon(std::uint32_t dwMessage, const NOTIFYICONDATA& nid);

// The three operations of the main window; image is 1 (scheduler on), 2 (run in progress) or
// 3 (scheduler off) of the main window's ImageList1.
void AddTrayIcon(const QString& strTip, int image);
// Also gives the main window the same image first.
void ModifyTrayIcon(const QString& strTip, int image);
void RemoveTrayIcon();

// What the notification area holds now (also where it cannot be seen).
struct EstadoTray {
    bool adicionado = false;  // added and not deleted
    bool visivel = false;     // shown in a real notification area
    QString tip;              // the tooltip as the notification area reads it (up to the character 0)
    int imagem = 0;           // the image number of the last add or modify
    std::uint32_t uCallbackMessage = 0;
};
EstadoTray estadoTray();

// Whether the main window is shown at start. The icon is the operator's only way to the
// options menu (settings, link rules, manual run, exit); on a desktop without a notification
// area (`areaDeNotificacao` false) a hidden window would leave the program running with no way
// in, so it is shown. The offscreen and minimal platforms have nobody to see it: the window
// stays hidden there, as with an icon.
bool janelaVisivelAoIniciar(bool areaDeNotificacao, const QString& plataforma);

// The icon object while one is shown; nullptr otherwise.
QSystemTrayIcon* trayIcon();
