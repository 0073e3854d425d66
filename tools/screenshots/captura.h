#pragma once
// How velmora_screenshots turns a window into a PNG: the window's client area as grab() paints
// it, under a plain caption strip with the window's icon and title (there is no window manager
// under Xvfb to draw a frame, and a caption is part of what a reviewer checks). The file is
// named after the window's objectName, with a suffix where one window is shown several ways.

#include <QString>
#include <QStringList>
#include <functional>

class QImage;
class QWidget;

namespace screenshots {

class Captura {
public:
    explicit Captura(QString pasta) : pasta_(std::move(pasta)) {}

    // Shows the window without a modal wait, lets it lay itself out and paint, saves it and hides
    // it again. False (with the reason on standard error) when it could not be saved.
    bool janela(QWidget& w, const QString& sufixo = QString());

    // For a window that fills itself only inside its own modal wait: runs `abre`, and from inside
    // that wait saves the modal window named `esperado` once it is up and closes it as a cancel
    // would. Any other modal window that comes up meanwhile is reported and closed, so the
    // program never waits on a window nobody sees. False when the window never came up.
    bool modal(const QString& esperado, const std::function<void()>& abre, const QString& sufixo = QString());

    // Saves the widget as it stands (already shown), without a caption strip when `comTitulo` is
    // false (a pop-up menu has none).
    bool guardar(QWidget& w, const QString& sufixo, bool comTitulo = true);

    // The files written so far, in order.
    const QStringList& ficheiros() const { return ficheiros_; }

private:
    QString pasta_;
    QStringList ficheiros_;
};

// The grabbed client area under a caption strip.
QImage comTitulo(QWidget& w, const QImage& corpo);

// Whether the image holds more than one colour: a window that painted nothing is one plain
// area.
bool temConteudo(const QImage& img);

// Lets pending events (layout, polish, paint, the window system's answers) run for a while.
void assentar(int ms = 150);

}  // namespace screenshots
