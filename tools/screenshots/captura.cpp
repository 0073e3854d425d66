#include "captura.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>

namespace screenshots {

namespace {

void erro(const QString& texto) { std::fprintf(stderr, "velmora_screenshots: %s\n", qPrintable(texto)); }

// A file name from the window's name: only letters, digits, "_" and "-" survive.
QString nomeDoFicheiro(const QWidget& w, const QString& sufixo) {
    QString base = w.objectName();
    if (base.isEmpty()) base = w.windowTitle();
    if (base.isEmpty()) base = QString::fromLatin1(w.metaObject()->className());
    if (!sufixo.isEmpty()) base += QLatin1Char('_') + sufixo;
    QString limpo;
    for (const QChar c : base) {
        const bool aceite = (c.unicode() < 128 && c.isLetterOrNumber()) || c == u'_' || c == u'-';
        limpo += aceite ? c : QChar(u'_');
    }
    return limpo + QStringLiteral(".png");
}

}  // namespace

void assentar(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QApplication::sendPostedEvents();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (t.elapsed() < ms);
}

bool temConteudo(const QImage& img) {
    if (img.isNull()) return false;
    const QRgb primeira = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != primeira) return true;
        }
    }
    return false;
}

QImage comTitulo(QWidget& w, const QImage& corpo) {
    const QFont fonte = QApplication::font("QWorkspaceTitleBar");
    QFont negrito = fonte;
    negrito.setBold(true);
    const QFontMetrics fm(negrito);
    const int icone = 16;
    const int altura = std::max(fm.height(), icone) + 8;
    const QString titulo = w.windowTitle();
    const int largura = std::max(corpo.width(), 1);

    QImage img(largura + 2, corpo.height() + altura + 2, QImage::Format_RGB32);
    img.fill(QColor(0x80, 0x80, 0x80));  // the 1-pixel border
    QPainter p(&img);
    const QRect faixa(1, 1, largura, altura);
    p.fillRect(faixa, QColor(0x1f, 0x3f, 0x7f));
    int x = faixa.left() + 6;
    const QIcon ic = w.windowIcon();
    if (!ic.isNull()) {
        p.drawPixmap(x, faixa.top() + (altura - icone) / 2, ic.pixmap(icone, icone));
        x += icone + 6;
    }
    p.setFont(negrito);
    p.setPen(Qt::white);
    const QRect texto(x, faixa.top(), faixa.right() - x - 4, altura);
    p.drawText(texto, Qt::AlignVCenter | Qt::AlignLeft, fm.elidedText(titulo, Qt::ElideRight, texto.width()));
    p.drawImage(1, altura + 1, corpo);
    p.end();
    return img;
}

bool Captura::guardar(QWidget& w, const QString& sufixo, bool titulo) {
    const QImage corpo = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString nome = nomeDoFicheiro(w, sufixo);
    if (!temConteudo(corpo)) {
        erro(QStringLiteral("%1: the window painted nothing (%2x%3)").arg(nome).arg(corpo.width()).arg(corpo.height()));
        return false;
    }
    const QImage img = titulo ? comTitulo(w, corpo) : corpo;
    const QString caminho = QDir(pasta_).filePath(nome);
    if (!img.save(caminho, "PNG")) {
        erro(QStringLiteral("%1: could not be written").arg(caminho));
        return false;
    }
    ficheiros_ << caminho;
    std::printf("%s\n", qPrintable(caminho));
    std::fflush(stdout);
    return true;
}

bool Captura::janela(QWidget& w, const QString& sufixo) {
    w.show();
    w.raise();
    assentar();
    const bool ok = guardar(w, sufixo);
    w.hide();
    assentar(30);
    return ok;
}

bool Captura::modal(const QString& esperado, const std::function<void()>& abre, const QString& sufixo) {
    bool visto = false;
    bool ok = false;
    QTimer vigia;
    vigia.setInterval(25);
    QObject::connect(&vigia, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible()) return;
        // Not again from inside the events run below.
        vigia.stop();
        if (w->objectName() == esperado && !visto) {
            visto = true;
            assentar();
            ok = guardar(*w, sufixo);
        } else {
            erro(QStringLiteral("%1: an unexpected window came up (%2 \"%3\")")
                     .arg(esperado, w->objectName(), w->windowTitle()));
        }
        w->close();
        // A window that refuses to close is not waited on.
        if (w->isVisible()) {
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
        }
        vigia.start();
    });
    vigia.start();
    abre();
    vigia.stop();
    if (!visto) erro(QStringLiteral("%1 %2: the window did not come up").arg(esperado, sufixo));
    return visto && ok;
}

}  // namespace screenshots
