// Window and text-box members of EDiv: placing forms, focus and selection, pasting, waiting.

#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "platform/usersettings.h"
#include "util/EDiv.h"
#include "util/gui/twips.h"
#include "util/text.h"

namespace {

void doEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

void selectAllText(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
    else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) s->selectAll();
    else if (auto* t = qobject_cast<QTextEdit*>(w)) t->selectAll();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->selectAll();
    else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->lineEdit() != nullptr) c->lineEdit()->selectAll();
    }
}

// The program's name in the per-user store: its executable's name without extension.
QString exeName() {
    if (QCoreApplication::instance() == nullptr) return QString();
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// A stored coordinate as a 32-bit integer; a text that does not convert leaves it at 0.
std::int32_t storedCoordinate(const QString& text) {
    try {
        return data::Variant(text).toInt32();
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

data::Variant EDiv::CenterForm(QWidget* FormX, QWidget* ParentForm) {
    if (FormX == nullptr) return Variant();
    const util::gui::TwipRect form = util::gui::formTwips(FormX);
    float top = 0;
    float left = 0;
    if (ParentForm == nullptr) {
        const util::gui::TwipRect screen = util::gui::screenTwips();
        top = screen.height / 2.0F - form.height / 2.0F;
        left = screen.width / 2.0F - form.width / 2.0F;
    } else {
        const util::gui::TwipRect parent = util::gui::formTwips(ParentForm);
        top = parent.height >= form.height ? parent.height / 2.0F - form.height / 2.0F + parent.top : parent.top;
        left = parent.width >= form.width ? parent.width / 2.0F - form.width / 2.0F + parent.left : parent.left;
    }
    util::gui::moveFormTwips(FormX, left, top);
    return Variant();
}

void EDiv::FormAlwaysOnTop(QWidget* mForm) {
    if (mForm == nullptr) return;
    const QString app = exeName();
    const QString section = mForm->objectName();
    std::int32_t x = storedCoordinate(platform::GetSetting(app, section, QStringLiteral("X"), QStringLiteral("0")));
    std::int32_t y = storedCoordinate(platform::GetSetting(app, section, QStringLiteral("Y"), QStringLiteral("0")));
    const auto perX = static_cast<std::int32_t>(std::lround(util::gui::twipsPerPixelX()));
    const auto perY = static_cast<std::int32_t>(std::lround(util::gui::twipsPerPixelY()));
    if (perX != 0) x /= perX;
    if (perY != 0) y /= perY;
    // Changing the window's flags hides it; a shown window is shown again, keeping its size.
    const bool shown = mForm->isVisible();
    mForm->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    mForm->move(x, y);
    if (shown) mForm->show();
}

void EDiv::Sel(QWidget* ctrl) {
    QPointer<QWidget> target(ctrl);
    doEvents();
    if (target.isNull()) return;
    target->setFocus(Qt::OtherFocusReason);
    doEvents();
    if (target.isNull()) return;
    selectAllText(target.data());
}

void EDiv::InsertTexto(const QString& StrToInsert, QWidget* ctrl) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        QGuiApplication::clipboard()->setText(StrToInsert);
    if (util::trimBlanks(StrToInsert).isEmpty()) return;
    if (ctrl != nullptr) ctrl->setFocus(Qt::OtherFocusReason);
    ControlV();
}

void EDiv::Espera(std::int16_t NSec) {
    // Counts second boundaries of the wall clock, as the system's wait did, without letting any
    // window message run; the short sleeps only spare the processor.
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    while (QDateTime::currentSecsSinceEpoch() - start < NSec) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::int16_t EDiv::FastPSizeofString(const Variant& /*FastP*/, const QString& /*strString*/) { return 0; }
