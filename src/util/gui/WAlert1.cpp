#include "util/gui/WAlert1.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/gui/qtmessagebox.h"
#include "platform/messagebox.h"
#include "util/EDiv.h"
#include "util/alert.h"
#include "util/gui/ListView.h"
#include "util/gui/twips.h"

namespace {

using util::gui::pixelsX;
using util::gui::pixelsY;

constexpr float kLineTwips = 300;
constexpr float kListLeft = 120;
constexpr float kListTop = 120;
constexpr float kListWidth = 3735;
constexpr float kButtonWidth = 1815;
constexpr float kButtonHeight = 375;
constexpr float kDesignWidth = 4005;
constexpr float kDesignHeight = 1095;

void place(QWidget* w, float left, float top, float width, float height) {
    w->setGeometry(pixelsX(left), pixelsY(top), pixelsX(width), pixelsY(height));
}

}  // namespace

WAlert1::WAlert1(QWidget* parent)
    : QDialog(parent),
      list_(new ListView(this)),
      cancelar_(new QPushButton(QStringLiteral("&Cancelar"), this)),
      gravar_(new QPushButton(QStringLiteral("&Selecionar"), this)) {
    setObjectName(QStringLiteral("WAlert1"));
    setWindowTitle(QString());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    list_->setObjectName(QStringLiteral("List1"));
    cancelar_->setObjectName(QStringLiteral("CancelarG"));
    gravar_->setObjectName(QStringLiteral("GravarG"));

    place(list_, kListLeft, kListTop, kListWidth, kLineTwips);
    place(cancelar_, 2040, 600, kButtonWidth, kButtonHeight);
    place(gravar_, 120, 600, kButtonWidth, kButtonHeight);
    // The design height is the client area's; only Alert's own height counts the frame.
    setFixedSize(pixelsX(kDesignWidth), pixelsY(kDesignHeight));
    setTabOrder(list_, cancelar_);
    setTabOrder(cancelar_, gravar_);

    // Load: centred from the design size, one column without header.
    Centrar();
    try {
        eFun().CreateListViewCol(*list_, {data::Variant(QString()), data::Variant(std::int32_t{3600}),
                                          data::Variant(std::int16_t{2})});
    } catch (const std::exception&) {
    }
    list_->setHideColumnHeaders(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->installEventFilter(this);

    connect(gravar_, &QPushButton::clicked, this, &WAlert1::Responder);
    connect(cancelar_, &QPushButton::clicked, this, &WAlert1::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Responder(); });
}

void WAlert1::Preparar(const QString& titulo, const std::vector<data::Variant>& opcoes) {
    setWindowTitle(titulo);
    list_->clearRows();
    for (const data::Variant& opcao : opcoes) {
        // A line that cannot be read as text is shown empty, so every later line keeps the
        // answer of its place in the choices.
        QString text;
        try {
            text = opcao.toString();
        } catch (const std::exception&) {
        }
        list_->addRow(text);
    }
    const float listHeight = static_cast<float>(opcoes.size()) * kLineTwips;
    place(list_, kListLeft, kListTop, kListWidth, listHeight);
    const int rows = std::max<int>(static_cast<int>(opcoes.size()), 1);
    const int rowPixels = std::max((list_->height() - 2 * list_->frameWidth()) / rows, 1);
    for (int i = 1; i <= list_->rowCount(); ++i) list_->row(i)->setSizeHint(0, QSize(-1, rowPixels));

    const float buttonsTop = kListTop + listHeight + 100;
    place(cancelar_, 2040, buttonsTop, kButtonWidth, kButtonHeight);
    place(gravar_, 120, buttonsTop, kButtonWidth, kButtonHeight);
    alturaExterior_ = pixelsY(listHeight + kButtonHeight + 700);
    molduraMedida_ = false;
    AjustarAltura();
    Centrar();
}

void WAlert1::AjustarAltura() {
    if (alturaExterior_ <= 0) return;
    const int medida = isVisible() ? frameGeometry().height() - geometry().height() : 0;
    if (medida > 0) molduraMedida_ = true;
    const int cliente = util::gui::alturaDoCliente(alturaExterior_, medida, QGuiApplication::platformName(),
                                                   style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this),
                                                   gravar_->geometry().bottom() + 1);
    if (cliente != height()) setFixedSize(width(), cliente);
}

void WAlert1::Centrar() {
    const util::gui::TwipRect screen = util::gui::screenTwips();
    const util::gui::TwipRect me = util::gui::formTwips(this);
    util::gui::moveFormTwips(this, (screen.width - me.width) / 2.0F, (screen.height - me.height) / 2.0F);
}

void WAlert1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window frame is known once the window exists: sized and centred again with it.
    AjustarAltura();
    Centrar();
    list_->setSelectedRow(list_->row(1));
    list_->setFocus(Qt::OtherFocusReason);
}

void WAlert1::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // A window manager reports its frame when it places the window, which can be after the show:
    // the height follows it once.
    if (!isVisible() || molduraMedida_ || frameGeometry().height() == geometry().height()) return;
    AjustarAltura();
    Centrar();
}

bool WAlert1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Responder();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void WAlert1::Responder() {
    if (QTreeWidgetItem* chosen = list_->selectedRow())
        gintRespostaAlert() = static_cast<std::int16_t>(std::min(list_->indexOfRow(chosen), 32767));
    done(QDialog::Accepted);
}

void WAlert1::reject() {
    gintRespostaAlert() = 0;
    QDialog::reject();
}

namespace util::gui {

int alturaDoCliente(int alturaExterior, int molduraMedida, const QString& plataforma, int barraDeTitulo,
                    int minimo) {
    int moldura = molduraMedida;
    if (moldura <= 0) {
        const bool semMolduras =
            plataforma == QLatin1String("offscreen") || plataforma == QLatin1String("minimal");
        moldura = semMolduras ? 0 : std::max(barraDeTitulo, 0);
    }
    return std::max(alturaExterior - moldura, minimo);
}

void alertDialog(const QString& titulo, const std::vector<data::Variant>& opcoes) {
    {
        WAlert1 dialog;
        dialog.Preparar(titulo, opcoes);
        dialog.exec();
    }
    QCoreApplication::processEvents();
}

namespace {

void answerUnseen(const QString& titulo, const std::vector<data::Variant>& opcoes) {
    QString lines;
    for (const data::Variant& opcao : opcoes) {
        if (!lines.isEmpty()) lines += u'\r';
        try {
            lines += opcao.toString();
        } catch (const std::exception&) {
        }
    }
    const QByteArray line = platform::messageBoxLine(lines, titulo).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    gintRespostaAlert() = 0;
}

void askOnScreen(const QString& titulo, const std::vector<data::Variant>& opcoes) {
    if (!platform::QtMessageBoxHost::canShowBoxes()) {
        answerUnseen(titulo, opcoes);
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        alertDialog(titulo, opcoes);
        return;
    }
    // Widgets live on the GUI thread only; a worker waits there for the answer.
    QMetaObject::invokeMethod(app, [&] { alertDialog(titulo, opcoes); }, Qt::BlockingQueuedConnection);
}

}  // namespace

void installAlertDialog() { util::setAlertDialogHook(askOnScreen); }

void removeAlertDialog() { util::setAlertDialogHook({}); }

}  // namespace util::gui
