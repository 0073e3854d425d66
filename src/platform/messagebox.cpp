#include "platform/messagebox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform {

namespace {

std::atomic<MessageBoxHost*> g_host{nullptr};

// The answer of each button of each button set, in the order the box shows them.
struct ButtonSet {
    int count;
    int answers[3];
};

ButtonSet buttonsOf(int style) {
    switch (style & 0x0F) {
        case mb::OKCancel: return {2, {mr::OK, mr::Cancel, 0}};
        case mb::AbortRetryIgnore: return {3, {mr::Abort, mr::Retry, mr::Ignore}};
        case mb::YesNoCancel: return {3, {mr::Yes, mr::No, mr::Cancel}};
        case mb::YesNo: return {2, {mr::Yes, mr::No, 0}};
        case mb::RetryCancel: return {2, {mr::Retry, mr::Cancel, 0}};
        // OKOnly and the sets this system never uses show a single OK.
        default: return {1, {mr::OK, 0, 0}};
    }
}

}  // namespace

int defaultAnswer(int style) {
    const ButtonSet set = buttonsOf(style);
    // Bits 8-11 pick the default button; one that the box does not have falls back to the first.
    const int index = (style >> 8) & 0x0F;
    if (index < set.count) return set.answers[index];
    return set.answers[0];
}

void setMessageBoxHost(MessageBoxHost* host) { g_host.store(host); }

MessageBoxHost* messageBoxHost() { return g_host.load(); }

QString appTitle() {
    static const QString fallback = QStringLiteral("Velmora");
    const QString name = QCoreApplication::applicationName();
    if (name.isEmpty()) return fallback;
    // Qt reports the executable's file name when the program never named itself.
    if (QCoreApplication::instance() != nullptr) {
        const QStringList args = QCoreApplication::arguments();
        if (!args.isEmpty() && name == QFileInfo(args.first()).fileName()) return fallback;
    }
    return name;
}

QString messageBoxLine(const QString& text, const QString& title) {
    QString body;
    body.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            // CR LF, a lone CR and a lone LF are all one line break.
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
            body += QStringLiteral(" | ");
        } else if (c.category() == QChar::Other_Control) {
            body += u' ';
        } else {
            body += c;
        }
    }
    return u'[' + title + QStringLiteral("] ") + body;
}

int showOnStandardError(const QString& text, int style, const QString& title) {
    static std::mutex lock;
    const QByteArray line = messageBoxLine(text, title.isEmpty() ? appTitle() : title).toUtf8() + '\n';
    {
        const std::lock_guard<std::mutex> guard(lock);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
    }
    return defaultAnswer(style);
}

int MsgBox(const QString& text, int style, const QString& title) {
    const QString shownTitle = title.isEmpty() ? appTitle() : title;
    if (MessageBoxHost* host = g_host.load()) return host->show(text, style, shownTitle);
    return showOnStandardError(text, style, shownTitle);
}

}  // namespace platform
