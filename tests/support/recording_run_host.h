#pragma once
// A RunHost that records what a run shows: every panel text, refresh, pointer change and
// critical message, each also as one line of `events` in the order they happened
// ("panel:<text>", "refresh", "pointer:busy", "pointer:default", "critical:<text>"), so a test
// can check both what was shown and when.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "extractor/RunHost.h"

class MailHost;

namespace testsupport {

class RecordingRunHost : public RunHost {
public:
    void SetPanelText(const QString& text) override {
        panel = text;
        panelTexts.push_back(text);
        events.push_back(QStringLiteral("panel:") + text);
        // The moment a step announces itself: the place to break something under the run.
        if (onPanel) onPanel(text);
    }
    void RefreshStatusBar() override {
        ++refreshes;
        events.push_back(QStringLiteral("refresh"));
    }
    void SetBusyPointer(bool busy) override {
        pointerBusy = busy;
        pointerChanges.push_back(busy);
        events.push_back(busy ? QStringLiteral("pointer:busy") : QStringLiteral("pointer:default"));
        // Every trap restores the pointer first, before it writes its log row.
        if (!busy && onDefaultPointer) onDefaultPointer();
    }
    void ShowCriticalMessage(const QString& text) override {
        criticalMessages.push_back(text);
        events.push_back(QStringLiteral("critical:") + text);
        // Runs while the "modal" message is up: the place to look at what the run left behind
        // at that moment, or to try a second run.
        if (onCritical) onCritical(text);
    }
    MailHost* Mail() override { return mail; }

    // Panel texts that the run put up; the current text.
    QStringList panelTexts;
    QString panel;
    int refreshes = 0;
    std::vector<bool> pointerChanges;
    bool pointerBusy = false;
    QStringList criticalMessages;
    QStringList events;

    // What Mail() returns (nullptr: no mail window).
    MailHost* mail = nullptr;
    std::function<void(const QString&)> onCritical;
    std::function<void(const QString&)> onPanel;
    std::function<void()> onDefaultPointer;
};

}  // namespace testsupport
