#include "platform/gui/qtsystemhooks.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "platform/gui/qtmessagebox.h"
#include "platform/sysinfo.h"
#include "platform/xkeyboard.h"

namespace platform {

namespace {

QString showFolderDialog(std::int32_t owner, const QString& prompt) {
    QWidget* parent = owner != 0 ? QWidget::find(static_cast<WId>(static_cast<std::uint32_t>(owner))) : nullptr;
    // The picker starts at the top of the user's own tree; any folder can be reached from there.
    return QFileDialog::getExistingDirectory(parent, prompt, QDir::homePath(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

}  // namespace

QString qtBrowseForFolder(std::int32_t owner, const QString& prompt) {
    // Same test as for message boxes: a dialog nobody can see would wait forever.
    if (!QtMessageBoxHost::canShowBoxes()) return QString();
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) return showFolderDialog(owner, prompt);
    // Widgets live on the GUI thread only; a worker waits there for the choice.
    QString chosen;
    QMetaObject::invokeMethod(
        app, [&] { chosen = showFolderDialog(owner, prompt); }, Qt::BlockingQueuedConnection);
    return chosen;
}

void qtBeep(std::int32_t frequency, std::int32_t duration) {
    // The platform's beep refuses a pitch outside 37..32767 Hz and sounds nothing for no time.
    if (frequency < 37 || frequency > 32767 || duration <= 0) return;
    if (ringXBell(frequency, duration)) return;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        QApplication::beep();
    } else {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QApplication::beep(); }, Qt::QueuedConnection);
    }
}

void installQtSystemHooks() {
    setFolderBrowserHook(qtBrowseForFolder);
    setBeepHook(qtBeep);
}

void removeQtSystemHooks() {
    setFolderBrowserHook({});
    setBeepHook({});
}

}  // namespace platform
