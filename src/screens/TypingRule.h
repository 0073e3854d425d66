#pragma once
// The typing rule of an entry field: an edit by the user (a key, a paste, a drop) that breaks
// the rule is undone at once, so the field only ever shows text the rule allows. Text that the
// program sets is not checked.

#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;

class TypingRule : public QObject {
    Q_OBJECT

public:
    // Whether the edited text may replace the text shown before the edit.
    using Rule = std::function<bool(const QString& edited, const QString& before)>;

    // The rule belongs to the field.
    TypingRule(QLineEdit* field, Rule rule);

private:
    QLineEdit* field_;
    Rule rule_;
    QString shown_;  // the field's text after its last change
};
