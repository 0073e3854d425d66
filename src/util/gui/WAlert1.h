#pragma once
// WAlert1: the choice dialog behind EDiv::Alert. A caption, one line per choice in a list
// without column header, and the buttons "&Selecionar" and "&Cancelar". The chosen line's
// position (from 1) goes to gintRespostaAlert(); a cancel, Esc or a close of the window writes
// 0, so a dialog closed without a choice never hands back an earlier answer. Geometry follows
// the system's design in twips: the list at 120, 120, 3735 wide, 300 per line; the buttons
// 100 below it; the dialog as high as the list, the buttons and 700 more, centred on the screen.
// That height is the window's own, frame included, as the design measured it: the client area
// is what is left once the window manager's title bar and borders are taken off, or the buttons
// would sit above an empty band as high as the frame.

#include <QDialog>
#include <QString>
#include <vector>

#include "data/variant.h"

class ListView;
class QPushButton;

class WAlert1 : public QDialog {
    Q_OBJECT

public:
    explicit WAlert1(QWidget* parent = nullptr);  // the form's load steps

    // Caption and lines, then the sizes and the centring of a call of Alert.
    void Preparar(const QString& titulo, const std::vector<data::Variant>& opcoes);

    ListView* List1() const { return list_; }
    QPushButton* CancelarG() const { return cancelar_; }
    QPushButton* GravarG() const { return gravar_; }

public slots:
    void reject() override;  // "&Cancelar", Esc and closing the window: the answer is 0

protected:
    void showEvent(QShowEvent* event) override;  // the first line becomes the selected one
    void moveEvent(QMoveEvent* event) override;  // the window manager's frame may be known now
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Responder();  // the selected line's position, then hide; no selected line keeps the answer
    void Centrar();
    // The client height for the design's outer height, with the frame as well as it is known.
    void AjustarAltura();

    ListView* list_;
    QPushButton* cancelar_;
    QPushButton* gravar_;
    int alturaExterior_ = 0;      // the design's height of the whole window, in pixels
    bool molduraMedida_ = false;  // the client height already follows a measured frame
};

namespace util::gui {

// The client height of a window whose whole height (frame included) is `alturaExterior`. The
// frame is the one measured on the shown window (`molduraMedida`, frame height less client
// height) when there is one; the offscreen and minimal platforms draw none; elsewhere a frame
// not known yet (the window not shown, or no window manager that reports one) is taken as the
// style's title bar. The client never gets lower than `minimo`, so a thick frame cuts nothing.
int alturaDoCliente(int alturaExterior, int molduraMedida, const QString& plataforma, int barraDeTitulo,
                    int minimo);

// Shows the dialog for one call of Alert, waits for it to close and lets pending events run.
void alertDialog(const QString& titulo, const std::vector<data::Variant>& opcoes);

// Installs alertDialog as the dialog of EDiv::Alert. Where nobody can see a dialog (Qt's
// offscreen or minimal platform) the question is written to standard error and answered as
// cancelled instead, so an unattended run never waits on it.
void installAlertDialog();
void removeAlertDialog();

}  // namespace util::gui
