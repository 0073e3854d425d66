#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "util/EDiv.h"
#include "util/alert.h"
#include "util/gui/ListView.h"
#include "util/gui/WAlert1.h"
#include "util/gui/twips.h"
#include "util/gui_helpers.h"
#include "platform/test_x_server.h"  // last: Xlib's macros

using data::Variant;
using guitest::whenShown;

namespace {

// Alert with the real dialog on the offscreen screen, whatever the program would install.
class AlertDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        util::setAlertDialogHook(util::gui::alertDialog);
        gintRespostaAlert() = 0;
    }
    void TearDown() override { util::setAlertDialogHook({}); }

    static std::vector<Variant> twoLines() {
        return {Variant(QStringLiteral("Continuar a tentar")), Variant(QStringLiteral("Terminar o Programa"))};
    }
};

float twipsY(int px) { return util::gui::twipsY(px); }

QPoint rowCentre(ListView* list, int row) { return list->visualItemRect(list->row(row)).center(); }

}  // namespace

TEST(Alert, WithoutADialogItAnswersCancelled) {
    util::setAlertDialogHook({});
    gintRespostaAlert() = 2;
    EXPECT_EQ(eFun().Alert(QStringLiteral("Config"), {Variant(QStringLiteral("Não")), Variant(QStringLiteral("Sim"))}),
              0);
    EXPECT_EQ(gintRespostaAlert(), 0);
}

TEST(Alert, UnderTheOffscreenPlatformTheInstalledDialogAnswersCancelledWithoutWaiting) {
    util::gui::installAlertDialog();
    EXPECT_TRUE(util::hasAlertDialogHook());
    gintRespostaAlert() = 2;
    EXPECT_EQ(eFun().Alert(QStringLiteral("Config"), {Variant(QStringLiteral("Não")), Variant(QStringLiteral("Sim"))}),
              0);
    util::gui::removeAlertDialog();
    EXPECT_FALSE(util::hasAlertDialogHook());
}

TEST_F(AlertDialogTest, TwoLinesLayoutFirstLineSelectedAndEnterAnswersOne) {
    whenShown<WAlert1>([](WAlert1& d) {
        EXPECT_EQ(d.windowTitle(), "Ocorreu um erro");
        ListView* list = d.List1();
        ASSERT_EQ(list->rowCount(), 2);
        EXPECT_EQ(ListView::rowText(list->row(1), 0), "Continuar a tentar");
        EXPECT_EQ(ListView::rowText(list->row(2), 0), "Terminar o Programa");
        EXPECT_EQ(list->selectedRow(), list->row(1));
        EXPECT_TRUE(list->HideColumnHeaders());
        EXPECT_EQ(list->columnHeaderCount(), 1);
        EXPECT_FLOAT_EQ(list->columnWidthTwips(1), 3600);
        EXPECT_NEAR(twipsY(list->height()), 600, 15);
        EXPECT_NEAR(twipsY(d.GravarG()->y()), 820, 15);
        EXPECT_NEAR(twipsY(d.CancelarG()->y()), 820, 15);
        // The window's whole height, frame included (offscreen draws none).
        EXPECT_NEAR(twipsY(d.frameGeometry().height()), 1675, 15);
        EXPECT_EQ(d.GravarG()->text(), "&Selecionar");
        EXPECT_EQ(d.CancelarG()->text(), "&Cancelar");
        guitest::key(list, Qt::Key_Return, QStringLiteral("\r"));
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("Ocorreu um erro"), twoLines()), 1);
    EXPECT_EQ(gintRespostaAlert(), 1);
}

TEST_F(AlertDialogTest, EscCancelAndClosingAnswerZeroNeverAnEarlierAnswer) {
    gintRespostaAlert() = 2;
    whenShown<WAlert1>([](WAlert1& d) { guitest::key(d.List1(), Qt::Key_Escape, QString(QChar(27))); });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 0);

    gintRespostaAlert() = 2;
    whenShown<WAlert1>([](WAlert1& d) { d.CancelarG()->click(); });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 0);

    // Closed by the window manager, with neither button.
    gintRespostaAlert() = 2;
    whenShown<WAlert1>([](WAlert1& d) { d.close(); });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 0);
}

TEST_F(AlertDialogTest, DoubleClickAndSelecionarAnswerTheSelectedLine) {
    whenShown<WAlert1>([](WAlert1& d) {
        ListView* list = d.List1();
        guitest::doubleClick(list->viewport(), rowCentre(list, 2));
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 2);

    whenShown<WAlert1>([](WAlert1& d) {
        guitest::key(d.List1(), Qt::Key_Down);
        d.GravarG()->click();
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 2);
}

TEST_F(AlertDialogTest, TenLinesAreCentredAndEachCallStartsFresh) {
    std::vector<Variant> ten;
    for (int i = 1; i <= 10; ++i) ten.emplace_back(QStringLiteral("Linha %1").arg(i));
    whenShown<WAlert1>([](WAlert1& d) {
        EXPECT_NEAR(twipsY(d.List1()->height()), 3000, 15);
        EXPECT_NEAR(twipsY(d.GravarG()->y()), 120 + 3000 + 100, 15);
        EXPECT_NEAR(twipsY(d.frameGeometry().height()), 3000 + 375 + 700, 15);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect frame = d.frameGeometry();
        EXPECT_NEAR(frame.center().x(), screen.center().x(), 2);
        EXPECT_NEAR(frame.center().y(), screen.center().y(), 2);
        guitest::key(d.List1(), Qt::Key_End);
        d.CancelarG()->click();
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), ten), 0);

    whenShown<WAlert1>([](WAlert1& d) {
        EXPECT_EQ(d.List1()->rowCount(), 2);
        EXPECT_EQ(d.List1()->selectedRow(), d.List1()->row(1));
        d.GravarG()->click();
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), twoLines()), 1);
}

TEST_F(AlertDialogTest, NoLinesGiveAnEmptyListAndSelecionarKeepsTheAnswer) {
    gintRespostaAlert() = 2;
    whenShown<WAlert1>([](WAlert1& d) {
        EXPECT_EQ(d.List1()->rowCount(), 0);
        EXPECT_EQ(d.List1()->height(), 0);
        d.GravarG()->click();
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), {}), 2);
    // A line that cannot be read as text keeps the places of the lines after it.
    whenShown<WAlert1>([](WAlert1& d) {
        EXPECT_EQ(ListView::rowText(d.List1()->row(1), 0), "");
        guitest::key(d.List1(), Qt::Key_Down);
        guitest::key(d.List1(), Qt::Key_Enter, QStringLiteral("\r"));
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), {Variant::null(), Variant(QStringLiteral("Sim"))}), 2);
}

TEST(AlertDialogHeight, TheWindowManagersFrameComesOffTheDesignHeight) {
    // 112 pixels is the two-line dialog's whole height at 96 dpi; its buttons end at 80.
    struct Caso {
        const char* porque;
        int molduraMedida;
        const char* plataforma;
        int barraDeTitulo;
        int minimo;
        int cliente;
    };
    const Caso casos[] = {
        {"a measured frame comes off whole", 27, "xcb", 22, 80, 85},
        {"a measured frame wins over the style's title bar", 30, "wayland", 22, 80, 82},
        {"no frame known yet: the style's title bar stands in", 0, "xcb", 22, 80, 90},
        {"offscreen draws no frame", 0, "offscreen", 22, 80, 112},
        {"minimal draws no frame", 0, "minimal", 22, 80, 112},
        {"a thick frame never cuts the buttons", 45, "xcb", 22, 80, 80},
    };
    for (const Caso& c : casos) {
        EXPECT_EQ(util::gui::alturaDoCliente(112, c.molduraMedida, QString::fromLatin1(c.plataforma),
                                             c.barraDeTitulo, c.minimo),
                  c.cliente)
            << c.porque;
    }
}

// Under a window manager that frames its windows (twm on a private Xvfb), measured in a child of
// this program on that display: the offscreen platform of the other tests draws no frame.
namespace {

constexpr char kChildVariable[] = "VELMORA_ALERT_UNDER_WM";

// True once a window manager holds the root window's redirection, which only one client may.
bool windowManagerRunning(const QByteArray& displayName) {
    Display* display = XOpenDisplay(displayName.constData());
    if (display == nullptr) return false;
    static bool taken = false;
    taken = false;
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent* e) {
        if (e->error_code == BadAccess) taken = true;
        return 0;
    });
    XSelectInput(display, DefaultRootWindow(display), SubstructureRedirectMask);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return taken;
}

void pumpFor(int milliseconds) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

}  // namespace

TEST(AlertUnderAWindowManager, ChildMeasuresTheFramedDialog) {
    if (!qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "run by the test below on its own display";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    util::setAlertDialogHook(util::gui::alertDialog);
    std::vector<Variant> ten;
    for (int i = 1; i <= 10; ++i) ten.emplace_back(QStringLiteral("Linha %1").arg(i));
    guitest::whenShown<WAlert1>([](WAlert1& d) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && d.frameGeometry().height() == d.geometry().height()) pumpFor(20);
        pumpFor(300);  // the height follows the frame once it is known
        const int moldura = d.frameGeometry().height() - d.geometry().height();
        EXPECT_GT(moldura, 0) << "the window manager framed the dialog";
        // The whole window, frame included, has the design height; the buttons stay whole.
        EXPECT_NEAR(twipsY(d.frameGeometry().height()), 3000 + 375 + 700, 16) << "frame " << moldura;
        EXPECT_LE(d.GravarG()->geometry().bottom(), d.height());
        EXPECT_LE(d.CancelarG()->geometry().bottom(), d.height());
        d.CancelarG()->click();
    });
    EXPECT_EQ(eFun().Alert(QStringLiteral("t"), ten), 0);
    util::setAlertDialogHook({});
}

TEST(AlertUnderAWindowManager, TheWholeFramedWindowHasTheDesignHeight) {
    const QString twm = QStandardPaths::findExecutable(QStringLiteral("twm"));
    if (twm.isEmpty()) GTEST_SKIP() << "no twm on this machine (scripts/install-deps.sh installs it)";
    testsupport::TestXServer server;
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();

    // Windows placed where the program puts them, without a click to place them; the one font
    // that every X server has, since Xvfb may have no others.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("twmrc"));
    {
        QFile f(config);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("RandomPlacement\nUsePPosition \"on\"\nNoGrabServer\nDecorateTransients\n");
        for (const char* font : {"TitleFont", "ResizeFont", "MenuFont", "IconFont", "IconManagerFont"}) {
            f.write(QByteArray(font) + " \"fixed\"\n");
        }
    }
    QProcess wm;
    QProcessEnvironment wmEnv = QProcessEnvironment::systemEnvironment();
    wmEnv.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    wm.setProcessEnvironment(wmEnv);
    wm.start(twm, {QStringLiteral("-display"), QString::fromLatin1(server.name()), QStringLiteral("-f"), config});
    ASSERT_TRUE(wm.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000 && !windowManagerRunning(server.name())) QThread::msleep(50);
    ASSERT_TRUE(windowManagerRunning(server.name())) << wm.readAllStandardError().toStdString();

    // The X platform's session bus keeps what it allocated to the end: not ours to leak.
    const QString supressoes = dir.filePath(QStringLiteral("lsan.supp"));
    {
        QFile f(supressoes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("leak:libdbus-1.so\n");
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + supressoes);
    env.insert(QStringLiteral("VELMORA_TEST_QPA"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server.name()));
    env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=AlertUnderAWindowManager.ChildMeasuresTheFramedDialog")});
    ASSERT_TRUE(child.waitForStarted(10000));
    const bool finished = child.waitForFinished(60000);
    if (!finished) child.kill();
    const QByteArray output = child.readAll();
    EXPECT_TRUE(finished);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    wm.terminate();
    if (!wm.waitForFinished(5000)) wm.kill();
}
