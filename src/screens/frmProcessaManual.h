#pragma once
// frmProcessaManual: the manual run screen, opened modally from the main window's menu entry
// "Processar Manualmente". The operator gives a period (two dates of one year, the end not
// before the start) and "&Processar" runs the extraction over it as a manual run: the period's
// records already sent are sent again, nothing inactive is deleted, P11 and P12 stay as they
// are. The run's progress goes to the first panel of the main window's status bar.

#include <QDialog>
#include <QString>

#include "extractor/RunHost.h"
#include "extractor/gui/frmSendMail.h"

class Edatas;
class QPushButton;

class frmProcessaManual : public QDialog, public RunHost {
    Q_OBJECT

public:
    explicit frmProcessaManual(QWidget* parent = nullptr);  // the form's load
    ~frmProcessaManual() override;

    // Where the run's panel texts go: the main window's StatusBar1 unless set here (nullptr
    // puts the main window back). Not owned.
    void setStatusB(RunHost* statusB) { statusB_ = statusB; }

    // "&Processar": checks the period, opens both databases and runs. True when the run was
    // made (whatever its own steps met); false when the period was refused, a database did
    // not open, or another run is still in progress.
    bool Processar();

    // ---- RunHost ----
    void SetPanelText(const QString& text) override;
    void RefreshStatusBar() override;
    void SetBusyPointer(bool busy) override;
    void ShowCriticalMessage(const QString& text) override;
    MailHost* Mail() override { return &mail_; }

    Edatas* edatDataInicial;
    Edatas* edatDataFinal;
    QPushButton* cmdProcessar;
    QPushButton* cmdSair;

private:
    void Form_Load();
    RunHost* statusB() const;

    RunHost* statusB_ = nullptr;
    bool ponteiroOcupado_ = false;
    frmSendMailHost mail_;
};
