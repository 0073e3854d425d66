#include "screens/Edatas.h"

#include <QDate>
#include <QKeyEvent>
#include <algorithm>

#include "data/variant.h"
#include "screens/TypingRule.h"
#include "screens/entryvalue.h"
#include "util/EDiv.h"
#include "util/Locale.h"
#include "util/text.h"

namespace {

constexpr int kMaxLength = 10;

bool isTypedSeparator(const QString& typed) {
    const QString& system = Locale().gstrDataSepSistema;
    return typed == u"/" || typed == u"-" || typed == u"." || (!system.isEmpty() && typed == system);
}

bool obeysRules(const QString& text) {
    if (text.size() > kMaxLength) return false;
    const QString sep = screens::dateSeparator();
    QString rest = text;
    rest.remove(sep);
    return std::all_of(rest.begin(), rest.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString shownDate(const QDate& date) {
    return eFun().GData(data::Variant(date.toString(QStringLiteral("yyyy-MM-dd"))));
}

}  // namespace

Edatas::Edatas(QWidget* parent) : QLineEdit(parent) {
    new TypingRule(this, [](const QString& edited, const QString& before) {
        return obeysRules(edited) || edited.size() < before.size();
    });
    connect(this, &QLineEdit::textEdited, this, [this] { porLer_ = true; });
    connect(this, &QLineEdit::editingFinished, this, [this] { Valida(); });
}

void Edatas::setData(const QString& amd) {
    const QDate date = QDate::fromString(amd, QStringLiteral("yyyy-MM-dd"));
    porLer_ = false;
    if (!date.isValid()) {
        data_.clear();
        setText(QString());
    } else {
        data_ = date.toString(QStringLiteral("yyyy-MM-dd"));
        setText(shownDate(date));
    }
}

bool Edatas::Valida() {
    if (!porLer_ || aLer_) return !data_.isEmpty() || util::trimBlanks(text()).isEmpty();
    porLer_ = false;
    if (util::trimBlanks(text()).isEmpty()) {
        data_.clear();
        return true;
    }
    // PData may show a message, which takes the focus away from the field: that leaving is no
    // second reading.
    aLer_ = true;
    const QString read = eFun().PData(text());
    aLer_ = false;
    const QString sep = screens::dateSeparator();
    const QDate date = QDate::fromString(read, QStringLiteral("yyyy") + sep + QStringLiteral("MM") + sep +
                                                   QStringLiteral("dd"));
    if (!date.isValid()) {
        data_.clear();
        selectAll();
        return false;
    }
    data_ = date.toString(QStringLiteral("yyyy-MM-dd"));
    setText(shownDate(date));
    return true;
}

void Edatas::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const QString sep = screens::dateSeparator();
    if (typed != sep && isTypedSeparator(typed)) {
        QKeyEvent asSeparator(event->type(), event->key(), event->modifiers(), sep);
        QLineEdit::keyPressEvent(&asSeparator);
        event->setAccepted(asSeparator.isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

