#include "screens/TypingRule.h"

#include <QLineEdit>
#include <algorithm>

TypingRule::TypingRule(QLineEdit* field, Rule rule) : QObject(field), field_(field), rule_(std::move(rule)) {
    shown_ = field->text();
    // The field announces a user's edit before the change itself; the change is recorded from
    // the field, which an undone edit has already put back.
    connect(field, &QLineEdit::textChanged, this, [this] { shown_ = field_->text(); });
    connect(field, &QLineEdit::textEdited, this, [this](const QString& edited) {
        if (rule_(edited, shown_)) return;
        const QString before = shown_;
        const int cursor = field_->cursorPosition() - static_cast<int>(edited.size() - before.size());
        field_->setText(before);
        field_->setCursorPosition(std::clamp(cursor, 0, static_cast<int>(before.size())));
    });
}
