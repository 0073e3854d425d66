#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/usersettings.h"
#include "util/EDiv.h"
#include "util/gui_helpers.h"

namespace {

QString exeName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

void placeCaret(QPlainTextEdit& box, int widgetPosition) {
    QTextCursor c = box.textCursor();
    c.setPosition(widgetPosition);
    box.setTextCursor(c);
}

}  // namespace

TEST(CenterForm, OnTheScreenOrOverAParent) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();  // 800 x 600 offscreen
    QWidget form;
    form.resize(400, 270);  // 6000 x 4050 twips at 15 per pixel
    EXPECT_TRUE(eFun().CenterForm(&form).isEmpty());
    EXPECT_EQ(form.pos(), QPoint(screen.width() / 2 - 200, screen.height() / 2 - 135));

    QWidget parent;
    parent.setGeometry(10, 20, 600, 400);
    eFun().CenterForm(&form, &parent);
    EXPECT_EQ(form.pos(), QPoint(300 - 200 + 10, 200 - 135 + 20));

    QWidget small;
    small.setGeometry(50, 60, 300, 200);
    eFun().CenterForm(&form, &small);
    EXPECT_EQ(form.pos(), QPoint(50, 60));

    // Larger than the screen: a negative position.
    form.resize(screen.width() + 200, 100);
    eFun().CenterForm(&form);
    EXPECT_EQ(form.x(), -100);
    EXPECT_NO_THROW(eFun().CenterForm(nullptr));
}

TEST(FormAlwaysOnTop, StoredPositionInTwipsOrTheCorner) {
    QWidget form;
    form.setObjectName(QStringLiteral("frmTopo"));
    form.setGeometry(200, 150, 320, 240);
    platform::DeleteSetting(exeName(), QStringLiteral("frmTopo"));
    eFun().FormAlwaysOnTop(&form);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.pos(), QPoint(0, 0));
    EXPECT_EQ(form.size(), QSize(320, 240));

    platform::SaveSetting(exeName(), QStringLiteral("frmTopo"), QStringLiteral("X"), QStringLiteral("1500"));
    platform::SaveSetting(exeName(), QStringLiteral("frmTopo"), QStringLiteral("Y"), QStringLiteral("abc"));
    form.show();
    eFun().FormAlwaysOnTop(&form);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pos(), QPoint(100, 0));
    platform::DeleteSetting(exeName(), QStringLiteral("frmTopo"));
}

TEST(TextBoxes, SelSelectsAllAndInsertTextoPastesOnlyNonBlankText) {
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* txt1 = new QLineEdit(QStringLiteral("primeiro"), &form);
    auto* txt2 = new QLineEdit(QStringLiteral("segundo"), &form);
    layout->addWidget(txt1);
    layout->addWidget(txt2);
    ASSERT_TRUE(guitest::activate(form));
    txt1->setFocus();
    guitest::pump();

    eFun().Sel(txt2);
    EXPECT_EQ(QApplication::focusWidget(), txt2);
    EXPECT_EQ(txt2->selectedText(), "segundo");
    EXPECT_NO_THROW(eFun().Sel(nullptr));

    eFun().InsertTexto(QStringLiteral("  "), txt1);
    guitest::pump();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "  ");
    EXPECT_EQ(QApplication::focusWidget(), txt2);  // blank text: no focus change, no paste
    EXPECT_EQ(txt2->text(), "segundo");

    txt1->setCursorPosition(0);
    eFun().InsertTexto(QStringLiteral("o "), txt1);
    guitest::pump();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "o ");
    EXPECT_EQ(txt1->text(), "o primeiro");
}

TEST(TextBoxes, LineFactsCountLineBreaksAsCrLf) {
    QPlainTextEdit box;
    box.setPlainText(QStringLiteral("ab\r\ncd\r\nef"));
    placeCaret(box, 0);
    EDiv& e = eFun();
    EXPECT_EQ(e.txtgetLineInfo(&box, 0), 3);
    EXPECT_EQ(e.txtgetLineInfo(&box, 1), 1);
    EXPECT_EQ(e.txtgetLineInfo(&box, 2), 1);
    EXPECT_EQ(e.txtgetLineInfo(&box, 7, 2), 5);
    EXPECT_EQ(e.txtgetLineInfo(&box, 7, 4), 0);
    EXPECT_EQ(e.txtgetLineInfo(&box, 8, 2), 7);
    EXPECT_EQ(e.txtgetLineInfo(&box, 9, 1), 2);
    EXPECT_EQ(e.txtgetLineInfo(&box, 12), 0);

    placeCaret(box, 7);  // between "e" and "f"
    EXPECT_EQ(e.txtgetLineInfo(&box, 1), 10);
    EXPECT_EQ(e.txtgetLineInfo(&box, 2), 3);
    EXPECT_EQ(e.txtgetLineInfo(&box, 3), 9);
    EXPECT_EQ(e.txtgetLineInfo(&box, 4), 11);
    EXPECT_EQ(e.txtgetLineInfo(&box, 5), 2);
    EXPECT_EQ(e.txtgetLineInfo(&box, 6), 2);

    std::int32_t line = 2;
    EXPECT_EQ(e.txtGetLineText(&box, line), "cd\r\n");
    EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("cd") + QChar(QChar::ParagraphSeparator));
    line = 3;
    EXPECT_EQ(e.txtGetLineText(&box, line), "ef");
    line = 7;
    EXPECT_EQ(e.txtGetLineText(&box, line), "");

    placeCaret(box, 1);
    line = 0;
    EXPECT_EQ(e.txtGetLineText(&box, line), "ab\r\n");
    EXPECT_EQ(line, 1);

    QPlainTextEdit longBox;
    longBox.setPlainText(QString(40000, u'x'));
    EXPECT_EQ(e.txtgetLineInfo(&longBox, 0), 1);
    EXPECT_EQ(e.txtgetLineInfo(&longBox, 5), 40000);
    EXPECT_EQ(e.txtgetLineInfo(nullptr, 0), 0);
}

TEST(WindowMembers, WaitsColoursAndTheWithdrawnMember) {
    EDiv& e = eFun();
    e.Espera(0);
    e.Espera(-5);
    EXPECT_EQ(e.FastPSizeofString(data::Variant(), QStringLiteral("abc")), 0);
    EXPECT_EQ(e.VERDE_ESCURO(), 0x008000);
    EXPECT_EQ(e.MAGNENTA(), 0xFF00FF);
    EXPECT_EQ(e.CINZENTO(), 0xC0C0C0);
    EXPECT_EQ(e.BRANCO(), 0xFFFFFF);
    EXPECT_EQ(e.PRETO(), 0);
    EXPECT_EQ(e.AMARELO(), 0x00FFFF);
    EXPECT_EQ(e.VERMELHO(), 0x0000FF);
    EXPECT_EQ(e.VERDE(), 0x00FF00);
    EXPECT_EQ(e.AZUL(), 0xC00000);
}
