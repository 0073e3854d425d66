#pragma once
// What the fuzz targets share: a broken promise aborts (libFuzzer keeps the input that did it),
// message boxes are answered silently, and inputs are cut into "|"-separated control fields.

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/messagebox.h"

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool ok, const char* what, const QString& detail = QString()) {
    if (!ok) fail(what, detail);
}

// A box nobody can see is answered with its default button, without writing every box of a
// million runs to standard error.
class SilentBoxes : public platform::MessageBoxHost {
public:
    int show(const QString&, int style, const QString&) override { return platform::defaultAnswer(style); }
    static void install() {
        static SilentBoxes host;
        platform::setMessageBoxHost(&host);
    }
};

// Qt's warnings about odd input (an invalid pattern, say) are answers, not faults, and writing
// millions of them would only slow the fuzzing down; fatal messages (failed Q_ASSERTs) still
// stop the run so that the input is kept.
inline void qtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) fail("Qt fatal message", text);
}
inline const bool kQuietQt = (qInstallMessageHandler(qtMessages), true);

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The input split at its first line break: the control line (UTF-8) and the rest (raw bytes).
struct Split {
    QList<QString> fields;  // the control line cut at "|"
    QByteArray rest;
};

inline Split splitControl(const QByteArray& input) {
    Split s;
    const qsizetype nl = input.indexOf('\n');
    const QByteArray head = nl < 0 ? input : input.left(nl);
    s.rest = nl < 0 ? QByteArray() : input.mid(nl + 1);
    s.fields = QString::fromUtf8(head).split(u'|');
    return s;
}

inline QString field(const Split& s, qsizetype i) { return i < s.fields.size() ? s.fields.at(i) : QString(); }

// A control field as a number; `fallback` when it is no number.
inline long long number(const Split& s, qsizetype i, long long fallback) {
    bool ok = false;
    const long long v = field(s, i).trimmed().toLongLong(&ok);
    return ok ? v : fallback;
}

}  // namespace fuzz
