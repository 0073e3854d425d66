#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>

#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/formcontrols.h"

namespace {

// An amount field as the by-name setters see it.
class AmountField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant Decimais MEMBER decimais)
    Q_PROPERTY(QVariant Comprimento MEMBER comprimento)

public:
    using QLineEdit::QLineEdit;
    QVariant decimais;
    QVariant comprimento;
};

template <class W>
W* make(QWidget* parent, const QString& name) {
    auto* w = new W(parent);
    w->setObjectName(name);
    return w;
}

}  // namespace

TEST(EnableFrame, SwitchesAFramesControlsButNotItsCloseButtonsOrTaggedOnes) {
    QWidget form;
    auto* fra = make<QGroupBox>(&form, QStringLiteral("fraDados"));
    auto* txtNome = make<QLineEdit>(fra, QStringLiteral("txtNome"));
    auto* txtFixo = make<QLineEdit>(fra, QStringLiteral("txtFixo"));
    txtFixo->setProperty("Tag", QStringLiteral("0"));
    auto* cmdFechar = make<QPushButton>(fra, QStringLiteral("cmdFechar"));
    auto* cmdCancelar = make<QPushButton>(fra, QStringLiteral("CmdCancelar"));
    auto* fraInterior = make<QGroupBox>(fra, QStringLiteral("fraInterior"));
    auto* chkDentro = make<QCheckBox>(fraInterior, QStringLiteral("chkDentro"));
    auto* txtFora = make<QLineEdit>(&form, QStringLiteral("txtFora"));

    EDiv& e = eFun();
    e.EnableFrame(&form, fra, false, false);
    EXPECT_FALSE(util::gui::controlEnabled(txtNome));
    EXPECT_TRUE(util::gui::controlEnabled(txtFixo));
    EXPECT_TRUE(util::gui::controlEnabled(cmdFechar));
    EXPECT_TRUE(util::gui::controlEnabled(cmdCancelar));
    EXPECT_TRUE(util::gui::controlEnabled(fraInterior));
    EXPECT_TRUE(util::gui::controlEnabled(chkDentro));
    EXPECT_TRUE(util::gui::controlEnabled(txtFora));

    e.EnableFrame(&form, fra, false, true);
    EXPECT_FALSE(util::gui::controlEnabled(chkDentro));
    EXPECT_TRUE(util::gui::controlEnabled(fraInterior));

    e.EnableFrame(&form, fra, true, true);
    EXPECT_TRUE(util::gui::controlEnabled(txtNome));
    EXPECT_TRUE(util::gui::controlEnabled(chkDentro));

    // Switching a control on switches on the containers around it, except the outermost.
    fra->setEnabled(false);
    fraInterior->setEnabled(false);
    chkDentro->setEnabled(false);
    e.EnableControlContainer(&form, chkDentro);
    EXPECT_TRUE(util::gui::controlEnabled(chkDentro));
    EXPECT_TRUE(util::gui::controlEnabled(fraInterior));
    EXPECT_FALSE(util::gui::controlEnabled(fra));
    txtFora->setEnabled(false);
    e.EnableControlContainer(&form, txtFora);
    EXPECT_FALSE(util::gui::controlEnabled(txtFora));
}

TEST(EnableFrame, ControlsOnTabPagesBelongToTheTabControl) {
    QWidget form;
    auto* tabDados = make<QTabWidget>(&form, QStringLiteral("tabDados"));
    auto* page1 = make<QWidget>(nullptr, QStringLiteral("pagGeral"));
    auto* page2 = new QWidget;  // pages are often left unnamed
    tabDados->addTab(page1, QStringLiteral("Geral"));
    tabDados->addTab(page2, QStringLiteral("Mais"));
    auto* txtNome = make<QLineEdit>(page1, QStringLiteral("txtNome"));
    auto* cmdFechar = make<QPushButton>(page1, QStringLiteral("cmdFechar"));
    auto* fraMais = make<QGroupBox>(page2, QStringLiteral("fraMais"));
    auto* chkMais = make<QCheckBox>(fraMais, QStringLiteral("chkMais"));
    auto* txtFora = make<QLineEdit>(&form, QStringLiteral("txtFora"));

    for (QWidget* c : {static_cast<QWidget*>(txtNome), static_cast<QWidget*>(fraMais)})
        EXPECT_EQ(util::gui::controlContainer(c, &form), tabDados) << c->objectName().toStdString();
    const auto controls = util::gui::formControls(&form);
    EXPECT_EQ(std::count(controls.begin(), controls.end(), page1), 0) << "a page is no control of its own";

    EDiv& e = eFun();
    e.EnableFrame(&form, tabDados, false, false);
    EXPECT_FALSE(util::gui::controlEnabled(txtNome)) << "on the page shown";
    EXPECT_TRUE(util::gui::controlEnabled(cmdFechar));
    EXPECT_TRUE(util::gui::controlEnabled(fraMais)) << "a container is not switched itself";
    EXPECT_TRUE(util::gui::controlEnabled(chkMais)) << "no recursion asked for";
    EXPECT_TRUE(util::gui::controlEnabled(txtFora));
    EXPECT_TRUE(util::gui::controlEnabled(tabDados));

    e.EnableFrame(&form, tabDados, false, true);
    EXPECT_FALSE(util::gui::controlEnabled(chkMais)) << "on a hidden page, inside a frame";

    // Switching on a control on a page switches on the containers up to the tab control's own.
    chkMais->setEnabled(false);
    fraMais->setEnabled(false);
    tabDados->setEnabled(false);
    e.EnableControlContainer(&form, chkMais);
    EXPECT_TRUE(util::gui::controlEnabled(chkMais));
    EXPECT_TRUE(util::gui::controlEnabled(fraMais));
    EXPECT_FALSE(util::gui::controlEnabled(tabDados)) << "the outermost container keeps its state";
}

TEST(GetControlDisponivel, LowestAndHighestUsableControlOfATabRange) {
    QWidget form;
    auto* txtA = make<QLineEdit>(&form, QStringLiteral("txtA"));
    auto* txtB = make<QLineEdit>(&form, QStringLiteral("txtB"));
    auto* txtC = make<QLineEdit>(&form, QStringLiteral("txtC"));
    auto* lblD = make<QLineEdit>(&form, QStringLiteral("lblD"));
    auto* cmdE = make<QPushButton>(&form, QStringLiteral("cmdE"));
    txtA->setProperty("TabIndex", 1);
    txtA->setEnabled(false);
    txtB->setProperty("TabIndex", 2);
    txtC->setProperty("TabIndex", 7);
    lblD->setProperty("TabIndex", 5);
    cmdE->setProperty("TabIndex", 12);

    EDiv& e = eFun();
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 10, 1, QStringLiteral("txtcmd")), txtB);
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 10, 2, QStringLiteral("txtcmd")), txtC);
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 10, 3, QStringLiteral("txtcmd")), nullptr);
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 20, 2, QStringLiteral("txtcmd")), cmdE);
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 10, 1, QString()), nullptr);
    txtC->setProperty("Tag", QStringLiteral("0"));
    EXPECT_EQ(e.GetControlDisponivel(&form, 0, 10, 2, QStringLiteral("txt")), txtB);

    // Without TabIndex properties the tab order decides.
    QWidget plain;
    auto* txt1 = make<QLineEdit>(&plain, QStringLiteral("txt1"));
    auto* txt2 = make<QLineEdit>(&plain, QStringLiteral("txt2"));
    auto* txt3 = make<QLineEdit>(&plain, QStringLiteral("txt3"));
    QWidget::setTabOrder(txt1, txt3);  // tab order txt1, txt3, txt2
    EXPECT_EQ(e.GetControlDisponivel(&plain, 0, 10, 2, QStringLiteral("txt")), txt2);
    EXPECT_EQ(e.GetControlDisponivel(&plain, 0, 10, 1, QStringLiteral("txt")), txt1);
    EXPECT_EQ(e.GetControlDisponivel(&plain, 1, 1, 1, QStringLiteral("txt")), txt3);
}

TEST(SetByName, DecimalsOnTheNamedOrPrefixedControlsAndErrorsForOthers) {
    QWidget form;
    auto* evalPreco = make<AmountField>(&form, QStringLiteral("evalPreco"));
    auto* evalTotal = make<AmountField>(&form, QStringLiteral("evalTotal"));
    auto* deciTaxa = make<AmountField>(&form, QStringLiteral("deciTaxa"));
    make<QLineEdit>(&form, QStringLiteral("txtNome"));

    EDiv& e = eFun();
    e.SetCasasDecimaisEmValores(&form, 3, QStringLiteral("Todos"));
    EXPECT_EQ(evalPreco->decimais.toInt(), 3);
    EXPECT_EQ(evalTotal->comprimento.toInt(), 18);
    EXPECT_FALSE(deciTaxa->decimais.isValid());

    e.SetCasasDecimaisEmDecimais(&form, 1, QStringLiteral("deciTaxa"));
    EXPECT_EQ(deciTaxa->decimais.toInt(), 1);
    EXPECT_EQ(evalPreco->decimais.toInt(), 3);

    try {
        e.SetCasasDecimaisEmValores(&form, 2, QStringLiteral("txtNome"));
        ADD_FAILURE() << "a text box has no Decimais";
    } catch (const platform::RuntimeError& err) {
        EXPECT_EQ(err.number(), 438);
    }
    EXPECT_THROW(e.SetMinMaxEmInteiros(&form, 1, 9, true, QStringLiteral("evalPreco")), platform::RuntimeError);
    EXPECT_NO_THROW(e.SetMinMaxEmInteiros(&form, 1, 9, true, QStringLiteral("Todos")));  // no "eint" control
    EXPECT_NO_THROW(e.SetCasasDecimaisEmValores(&form, 2));  // no name: nothing taken
}

#include "gui_controls_test.moc"
