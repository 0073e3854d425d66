#include "extractor/gui/modSysTray.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include "extractor/gui/WMenu.h"

namespace {

struct Area {
    bool adicionado = false;
    QPointer<QWidget> hWnd;
    std::uint32_t uID = 0;
    std::uint32_t uCallbackMessage = 0;
    QString tip;
    int imagem = 0;
    // Lives as a child of the window it belongs to, so it never outlives it.
    QPointer<QSystemTrayIcon> icon;
};

Area& area() {
    static Area a;
    return a;
}

// The tip as the notification area reads it: up to the character 0.
QString tipLido(const QString& szTip) {
    const qsizetype zero = szTip.indexOf(QChar(u'\0'));
    return zero < 0 ? szTip : szTip.left(zero);
}

bool podeMostrar() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
           QSystemTrayIcon::isSystemTrayAvailable();
}

// The icon's mouse events become the window's callback message, with the event code in the
// place of the horizontal coordinate.
std::uint32_t codigoDoEvento(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            return WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::Context:
            return WM_RBUTTONUP;
        case QSystemTrayIcon::Trigger:
            return WM_LBUTTONUP;
        case QSystemTrayIcon::MiddleClick:
            return WM_MBUTTONUP;
        default:
            return 0;
    }
}

void mostra(const NOTIFYICONDATA& nid) {
    Area& a = area();
    if (!podeMostrar() || nid.hWnd.isNull()) return;
    if (a.icon.isNull()) {
        a.icon = new QSystemTrayIcon(nid.hWnd.data());
        QObject::connect(a.icon.data(), &QSystemTrayIcon::activated, a.icon.data(),
                         [](QSystemTrayIcon::ActivationReason reason) {
                             const Area& estado = area();
                             const std::uint32_t codigo = codigoDoEvento(reason);
                             if (codigo == 0 || estado.hWnd.isNull() || estado.uCallbackMessage != WM_MOUSEMOVE) return;
                             QMetaObject::invokeMethod(estado.hWnd.data(), "Form_MouseMove", Qt::DirectConnection,
                                                       Q_ARG(int, static_cast<int>(codigo)));
                         });
    }
    if (nid.uFlags & NIF_ICON) a.icon->setIcon(nid.hIcon);
    if (nid.uFlags & NIF_TIP) a.icon->setToolTip(tipLido(nid.szTip));
    a.icon->show();
}

QIcon imagemDaLista(int image) {
    const WMenu* w = WMenu::instancia();
    return w != nullptr ? w->imagem(image) : QIcon();
}

void preenche(NOTIFYICONDATA& nid, const QString& strTip, int image) {
    FillNotifyIconData(nid, WMenu::instancia(), 1, NIF_MESSAGE | NIF_ICON | NIF_TIP, WM_MOUSEMOVE,
                       imagemDaLista(image), strTip);
}

}  // namespace

void FillNotifyIconData(NOTIFYICONDATA& t, QWidget* hWnd, std::uint32_t uID, std::uint32_t uFlags,
                        std::uint32_t uCallbackMessage, const QIcon& hIcon, const QString& strTip) {
    t.cbSize = kNotifyIconDataSize;
    t.hWnd = hWnd;
    t.uID = uID;
    t.uFlags = uFlags;
    t.uCallbackMessage = uCallbackMessage;
    t.hIcon = hIcon;
    t.szTip = (strTip + QChar(u'\0')).left(kTipLength).leftJustified(kTipLength, QChar(u' '));
}

bool Shell_NotifyIcon(std::uint32_t dwMessage, const NOTIFYICONDATA& nid) {
    Area& a = area();
    // The icon of a window that is gone goes with it.
    if (a.adicionado && a.hWnd.isNull()) a = Area();
    const bool mesmoIcone = a.adicionado && a.hWnd == nid.hWnd && a.uID == nid.uID;
    switch (dwMessage) {
        case NIM_ADD:
            if (a.adicionado) return false;
            a.adicionado = true;
            a.hWnd = nid.hWnd;
            a.uID = nid.uID;
            a.uCallbackMessage = (nid.uFlags & NIF_MESSAGE) ? nid.uCallbackMessage : 0;
            a.tip = (nid.uFlags & NIF_TIP) ? tipLido(nid.szTip) : QString();
            mostra(nid);
            return true;
        case NIM_MODIFY:
            if (!mesmoIcone) return false;
            if (nid.uFlags & NIF_MESSAGE) a.uCallbackMessage = nid.uCallbackMessage;
            if (nid.uFlags & NIF_TIP) a.tip = tipLido(nid.szTip);
            mostra(nid);
            return true;
        case NIM_DELETE:
            if (!mesmoIcone) return false;
            if (!a.icon.isNull()) {
                a.icon->hide();
                delete a.icon.data();
            }
            a = Area();
            return true;
        default:
            return false;
    }
}

void AddTrayIcon(const QString& strTip, int image) {
    NOTIFYICONDATA nid;
    preenche(nid, strTip, image);
    if (Shell_NotifyIcon(NIM_ADD, nid)) area().imagem = image;
}

void ModifyTrayIcon(const QString& strTip, int image) {
    if (WMenu* w = WMenu::instancia()) w->setWindowIcon(w->imagem(image));
    NOTIFYICONDATA nid;
    preenche(nid, strTip, image);
    if (Shell_NotifyIcon(NIM_MODIFY, nid)) area().imagem = image;
}

void RemoveTrayIcon() {
    NOTIFYICONDATA nid;
    FillNotifyIconData(nid, WMenu::instancia(), 1, 0, 0, QIcon(), QString());
    Shell_NotifyIcon(NIM_DELETE, nid);
}

EstadoTray estadoTray() {
    const Area& a = area();
    return {a.adicionado, !a.icon.isNull() && a.icon->isVisible(), a.tip, a.imagem, a.uCallbackMessage};
}

bool janelaVisivelAoIniciar(bool areaDeNotificacao, const QString& plataforma) {
    if (areaDeNotificacao) return false;
    return plataforma != QLatin1String("offscreen") && plataforma != QLatin1String("minimal");
}

QSystemTrayIcon* trayIcon() { return area().icon.data(); }
