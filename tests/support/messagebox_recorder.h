#pragma once
// Records every message box shown while it is installed and answers each with a scripted
// answer (the box's default button when none is scripted).
#include <QString>
#include <deque>
#include <vector>

#include "platform/messagebox.h"

namespace testsupport {

struct ShownBox {
    QString text;
    int style;
    QString title;
};

class MessageBoxRecorder : public platform::MessageBoxHost {
public:
    MessageBoxRecorder() : previous_(platform::messageBoxHost()) { platform::setMessageBoxHost(this); }
    ~MessageBoxRecorder() override { platform::setMessageBoxHost(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    int show(const QString& text, int style, const QString& title) override {
        shown.push_back({text, style, title});
        if (answers.empty()) return platform::defaultAnswer(style);
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<ShownBox> shown;
    std::deque<int> answers;

private:
    platform::MessageBoxHost* previous_;
};

}  // namespace testsupport
