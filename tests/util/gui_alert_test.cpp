#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>

#include "util/EDiv.h"
#include "util/alert.h"
#include "util/gui/ListView.h"
#include "util/gui/WAlert1.h"
#include "util/gui/twips.h"
#include "util/gui_helpers.h"

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
