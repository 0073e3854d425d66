#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryFile>
#include <cstdio>

#include "platform/gui/qtmessagebox.h"
#include "platform/messagebox.h"
#include "support/messagebox_recorder.h"

using namespace platform;

namespace {

// Catches what is written to standard error (file descriptor 2) while it lives.
class StderrCapture {
public:
    StderrCapture() {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    ~StderrCapture() { restore(); }

    QString text() {
        restore();
        QFile f(file_.fileName());
        if (!f.open(QIODevice::ReadOnly)) return QString();
        return QString::fromUtf8(f.readAll());
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

// Runs with no host installed, whatever the other tests left behind.
class NoHost {
public:
    NoHost() : previous_(messageBoxHost()) { setMessageBoxHost(nullptr); }
    ~NoHost() { setMessageBoxHost(previous_); }

private:
    MessageBoxHost* previous_;
};

}  // namespace

TEST(MessageBox, DefaultAnswerIsTheDefaultButtonOfEachButtonSet) {
    struct Row {
        int buttons;
        int first, second, third;
    };
    // The third column shows that a default button the box lacks falls back to the first one.
    const Row rows[] = {
        {mb::OKOnly, mr::OK, mr::OK, mr::OK},
        {mb::OKCancel, mr::OK, mr::Cancel, mr::OK},
        {mb::AbortRetryIgnore, mr::Abort, mr::Retry, mr::Ignore},
        {mb::YesNoCancel, mr::Yes, mr::No, mr::Cancel},
        {mb::YesNo, mr::Yes, mr::No, mr::Yes},
        {mb::RetryCancel, mr::Retry, mr::Cancel, mr::Retry},
    };
    for (const Row& r : rows) {
        for (const int icon : {0, mb::Critical, mb::Question, mb::Exclamation, mb::Information}) {
            EXPECT_EQ(defaultAnswer(r.buttons | icon), r.first) << r.buttons << " " << icon;
            EXPECT_EQ(defaultAnswer(r.buttons | icon | mb::DefaultButton2), r.second) << r.buttons << " " << icon;
            EXPECT_EQ(defaultAnswer(r.buttons | icon | mb::DefaultButton3), r.third) << r.buttons << " " << icon;
        }
    }
    // Button sets the system never uses, and nonsense styles, still get an answer.
    EXPECT_EQ(defaultAnswer(7), mr::OK);
    EXPECT_EQ(defaultAnswer(-1), mr::OK);
    EXPECT_EQ(defaultAnswer(mb::YesNo | 768), mr::Yes);
}

TEST(MessageBox, WithoutAHostTheBoxIsOneLineOnStandardError) {
    NoHost none;
    StderrCapture capture;
    EXPECT_EQ(MsgBox(QStringLiteral("Este aplicativo já está em execução!"), mb::Critical), mr::OK);
    EXPECT_EQ(MsgBox(QStringLiteral("Linha 1\r\nLinha 2\nLinha 3\rFim\tx"), mb::YesNo | mb::Question | mb::DefaultButton2,
                     QStringLiteral("Pergunta")),
              mr::No);
    EXPECT_EQ(MsgBox(QString(), mb::OKCancel), mr::OK);
    const QString out = capture.text();
    EXPECT_EQ(out, QStringLiteral("[velmora-tests] Este aplicativo já está em execução!\n"
                                  "[Pergunta] Linha 1 | Linha 2 | Linha 3 | Fim x\n"
                                  "[velmora-tests] \n"));
}

TEST(MessageBox, AnInstalledHostGetsEveryBoxWithItsTitle) {
    testsupport::MessageBoxRecorder recorder;
    recorder.answers.push_back(mr::Retry);
    EXPECT_EQ(MsgBox(QStringLiteral("a"), mb::RetryCancel | mb::Exclamation), mr::Retry);
    EXPECT_EQ(MsgBox(QStringLiteral("b"), mb::YesNoCancel | mb::DefaultButton3, QStringLiteral("T")), mr::Cancel);
    ASSERT_EQ(recorder.shown.size(), 2u);
    EXPECT_EQ(recorder.shown[0].title, appTitle());
    EXPECT_EQ(recorder.shown[0].style, mb::RetryCancel | mb::Exclamation);
    EXPECT_EQ(recorder.shown[1].title, QStringLiteral("T"));
    EXPECT_EQ(recorder.shown[1].text, QStringLiteral("b"));
}

TEST(MessageBox, AppTitleIsTheApplicationNameOrVelmora) {
    const QString saved = QCoreApplication::applicationName();
    EXPECT_EQ(appTitle(), QStringLiteral("velmora-tests"));
    QCoreApplication::setApplicationName(QString());
    EXPECT_EQ(appTitle(), QStringLiteral("Velmora"));
    // A program that never named itself is known to Qt by its executable's name.
    QCoreApplication::setApplicationName(QCoreApplication::arguments().first().section(u'/', -1));
    EXPECT_EQ(appTitle(), QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    EXPECT_EQ(appTitle(), QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(saved);
}

TEST(MessageBox, QtHostFallsBackToStandardErrorOffscreen) {
    QtMessageBoxHost host;
    EXPECT_FALSE(QtMessageBoxHost::canShowBoxes());
    const MessageBoxHost* previous = messageBoxHost();
    setMessageBoxHost(&host);
    StderrCapture capture;
    EXPECT_EQ(MsgBox(QStringLiteral("Apagar?"), mb::YesNo | mb::Question | mb::DefaultButton2), mr::No);
    EXPECT_EQ(host.show(QStringLiteral("x"), mb::AbortRetryIgnore | mb::DefaultButton3, QStringLiteral("T")),
              mr::Ignore);
    setMessageBoxHost(const_cast<MessageBoxHost*>(previous));
    EXPECT_EQ(capture.text(), QStringLiteral("[velmora-tests] Apagar?\n[T] x\n"));
}
