#include "platform/gui/qtmessagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

namespace platform {

namespace {

QMessageBox::StandardButton buttonOf(int answer) {
    switch (answer) {
        case mr::OK: return QMessageBox::Ok;
        case mr::Cancel: return QMessageBox::Cancel;
        case mr::Abort: return QMessageBox::Abort;
        case mr::Retry: return QMessageBox::Retry;
        case mr::Ignore: return QMessageBox::Ignore;
        case mr::Yes: return QMessageBox::Yes;
        case mr::No: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

int answerOf(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok: return mr::OK;
        case QMessageBox::Cancel: return mr::Cancel;
        case QMessageBox::Abort: return mr::Abort;
        case QMessageBox::Retry: return mr::Retry;
        case QMessageBox::Ignore: return mr::Ignore;
        case QMessageBox::Yes: return mr::Yes;
        case QMessageBox::No: return mr::No;
        default: return 0;
    }
}

// The buttons of a style in the order the box shows them (see defaultAnswer for the sets).
QList<int> answersOf(int style) {
    switch (style & 0x0F) {
        case mb::OKCancel: return {mr::OK, mr::Cancel};
        case mb::AbortRetryIgnore: return {mr::Abort, mr::Retry, mr::Ignore};
        case mb::YesNoCancel: return {mr::Yes, mr::No, mr::Cancel};
        case mb::YesNo: return {mr::Yes, mr::No};
        case mb::RetryCancel: return {mr::Retry, mr::Cancel};
        default: return {mr::OK};
    }
}

QMessageBox::Icon iconOf(int style) {
    switch (style & 0x70) {
        case mb::Critical: return QMessageBox::Critical;
        case mb::Question: return QMessageBox::Question;
        case mb::Exclamation: return QMessageBox::Warning;
        case mb::Information: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

int showBox(const QString& text, int style, const QString& title) {
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');

    QMessageBox box(iconOf(style), title, body);
    box.setTextFormat(Qt::PlainText);
    const QList<int> answers = answersOf(style);
    for (const int a : answers) box.addButton(buttonOf(a));
    box.setDefaultButton(buttonOf(defaultAnswer(style)));
    // Qt picks the escape button itself: Cancel when the box has one, else the only button,
    // else No; a box closed without a click answers with its default button.
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    const int answer = answerOf(box.standardButton(box.clickedButton()));
    return answer != 0 ? answer : defaultAnswer(style);
}

}  // namespace

bool QtMessageBoxHost::canShowBoxes() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int QtMessageBoxHost::show(const QString& text, int style, const QString& title) {
    if (!canShowBoxes()) return showOnStandardError(text, style, title);
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) return showBox(text, style, title);
    // Widgets live on the GUI thread only; a worker waits there for the answer.
    int answer = defaultAnswer(style);
    QMetaObject::invokeMethod(
        app, [&] { answer = showBox(text, style, title); }, Qt::BlockingQueuedConnection);
    return answer;
}

}  // namespace platform
