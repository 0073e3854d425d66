// Line members of EDiv on multi-line text boxes. The system asked its edit boxes for line facts
// through their messages; these answers are those of an edit box holding the same text, where
// positions count from 0 and every line break counts as two characters (CR LF), so the numbers
// stay the system's own whatever the widget keeps internally.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>

#include "util/EDiv.h"

namespace {

// The text box as an edit box sees it: its lines, the selection and the caret in CR LF counting.
class EditBox {
public:
    explicit EditBox(QWidget* w) : widget_(w) {
        int start = 0;
        int end = 0;
        int caret = 0;
        if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            read(p->toPlainText(), p->textCursor(), start, end, caret);
        } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
            read(t->toPlainText(), t->textCursor(), start, end, caret);
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            lines_ = {e->text()};
            caret = e->cursorPosition();
            start = e->hasSelectedText() ? e->selectionStart() : caret;
            end = e->hasSelectedText() ? e->selectionEnd() : caret;
        } else {
            lines_ = {QString()};
        }
        selStart_ = start;
        selEnd_ = end;
        caret_ = caret;
    }

    int lineCount() const { return static_cast<int>(lines_.size()); }
    int selStart() const { return selStart_; }
    int selEnd() const { return selEnd_; }

    // EM_LINEINDEX: the first character of a line; -1 asks for the caret's line; -1 answers a
    // line that does not exist.
    int lineIndex(int line) const {
        if (line == -1) line = lineOf(caret_);
        if (line < 0 || line >= lineCount()) return -1;
        int pos = 0;
        for (int i = 0; i < line; ++i) pos += static_cast<int>(lines_[static_cast<std::size_t>(i)].size()) + 2;
        return pos;
    }

    // EM_LINEFROMCHAR: the line of a character; -1 asks for the line of the selection's start
    // (the caret's when nothing is selected).
    int lineFromChar(int pos) const { return lineOf(pos == -1 ? selStart_ : pos); }

    // EM_LINELENGTH: the length of the line of a character; -1 asks for the unselected
    // characters of the lines that the selection touches (the caret's line length without one).
    int lineLength(int pos) const {
        if (pos != -1) return lineLen(lineOf(pos));
        const int first = lineOf(selStart_);
        const int last = lineOf(selEnd_);
        return (selStart_ - lineIndex(first)) + (lineIndex(last) + lineLen(last) - selEnd_);
    }

    // The text as the edit box holds it, with CR LF between lines.
    QString text() const {
        QString all;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (i > 0) all += QStringLiteral("\r\n");
            all += lines_[i];
        }
        return all;
    }

    // EM_SETSEL: start -1 removes the selection; end -1 runs to the end of the text.
    QString select(int start, int end) {
        const QString all = text();
        const int size = static_cast<int>(all.size());
        if (start == -1) {
            setWidgetSelection(selEnd_, selEnd_);
            return QString();
        }
        if (end < 0 || end > size) end = size;
        start = std::clamp(start, 0, size);
        if (end < start) std::swap(start, end);
        setWidgetSelection(start, end);
        return all.mid(start, end - start);
    }

private:
    void read(const QString& plain, const QTextCursor& c, int& start, int& end, int& caret) {
        const QStringList parts = plain.split(u'\n');
        lines_.assign(parts.begin(), parts.end());
        auto toBox = [&](int pos) { return pos + static_cast<int>(plain.left(pos).count(u'\n')); };
        start = toBox(c.selectionStart());
        end = toBox(c.selectionEnd());
        caret = toBox(c.position());
    }

    int lineOf(int pos) const {
        int lineStart = 0;
        for (int i = 0; i < lineCount(); ++i) {
            const int next = lineStart + static_cast<int>(lines_[static_cast<std::size_t>(i)].size()) + 2;
            if (pos < next || i == lineCount() - 1) return i;
            lineStart = next;
        }
        return 0;
    }

    int lineLen(int line) const {
        if (line < 0 || line >= lineCount()) return 0;
        return static_cast<int>(lines_[static_cast<std::size_t>(line)].size());
    }

    // A position of the edit box as a position of the widget's text (each break one character).
    int toWidget(int pos) const {
        const int line = lineOf(pos);
        const int inLine = std::min(pos - lineIndex(line), lineLen(line));
        int widgetPos = 0;
        for (int i = 0; i < line; ++i) widgetPos += lineLen(i) + 1;
        return widgetPos + std::max(inLine, 0);
    }

    void setWidgetSelection(int start, int end) {
        const int a = toWidget(start);
        const int b = toWidget(end);
        auto apply = [&](auto* edit) {
            QTextCursor c = edit->textCursor();
            c.setPosition(a);
            c.setPosition(b, QTextCursor::KeepAnchor);
            edit->setTextCursor(c);
        };
        if (auto* p = qobject_cast<QPlainTextEdit*>(widget_)) apply(p);
        else if (auto* t = qobject_cast<QTextEdit*>(widget_)) apply(t);
        else if (auto* e = qobject_cast<QLineEdit*>(widget_)) e->setSelection(a, b - a);
    }

    QWidget* widget_;
    std::vector<QString> lines_;
    int selStart_ = 0;
    int selEnd_ = 0;
    int caret_ = 0;
};

}  // namespace

std::int32_t EDiv::txtgetLineInfo(QWidget* txtObj, std::int32_t Info, std::int32_t lineNumber) {
    if (txtObj == nullptr) return 0;
    const EditBox box(txtObj);
    switch (Info) {
        case 0: return box.lineCount();
        case 1: return box.selEnd() + 1;
        case 2: return box.lineFromChar(-1) + 1;
        case 3: return box.lineIndex(-1) + 1;
        case 4: return box.lineIndex(-1) + 1 + box.lineLength(-1);
        case 5: return box.lineLength(-1);
        case 6: return box.selEnd() + 1 - box.lineIndex(box.lineFromChar(-1));
        case 7: return box.lineIndex(lineNumber - 1) + 1;
        case 8: return box.lineIndex(lineNumber - 1) + 1 + box.lineLength(box.lineIndex(lineNumber - 1));
        case 9: return box.lineIndex(lineNumber) - box.lineIndex(lineNumber - 1) - 2;
        default: return 0;
    }
}

QString EDiv::txtGetLineText(QWidget* txtObj, Ref<std::int32_t> lineNumber) {
    if (txtObj == nullptr) return QString();
    if (*lineNumber == 0) *lineNumber = txtgetLineInfo(txtObj, 2);
    const std::int32_t a = txtgetLineInfo(txtObj, 7, *lineNumber);
    const std::int32_t b = txtgetLineInfo(txtObj, 7, *lineNumber + 1);
    EditBox box(txtObj);
    return box.select(a - 1, b - 1);
}
