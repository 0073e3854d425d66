// The program's entry: the start-up steps of Main. The hidden main window with its tray icon
// and scheduler is loaded by the windowed part of the extractor once it is in place; until then
// the program checks its start-up conditions, reports them and ends.

#include <QApplication>
#include <QTextStream>

#include "extractor/MainMod.h"
#include "platform/gui/qtmessagebox.h"
#include "platform/gui/qtsystemhooks.h"
#include "platform/messagebox.h"
#include "platform/singlecopy.h"
#include "util/gui/WAlert1.h"
#include "util/Locale.h"

namespace {

// The windowed services (message boxes, the choice dialog, folder picker, beep) for the life of the application.
class WindowedServices {
public:
    WindowedServices() {
        platform::setMessageBoxHost(&boxes_);
        platform::installQtSystemHooks();
        util::gui::installAlertDialog();
    }
    ~WindowedServices() {
        util::gui::removeAlertDialog();
        platform::removeQtSystemHooks();
        platform::setMessageBoxHost(nullptr);
    }
    WindowedServices(const WindowedServices&) = delete;
    WindowedServices& operator=(const WindowedServices&) = delete;

private:
    platform::QtMessageBoxHost boxes_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    WindowedServices services;

    platform::SingleCopyLock singleCopy;
    if (singleCopy.isAnotherCopyRunning()) {
        platform::MsgBox(kJaEmExecucao, platform::mb::Critical);
        return 0;
    }

    gstrFicheiroIni() = QStringLiteral("Velmora.ini");
    AcertaLocale();

    const LocaleRecord& l = Locale();
    QTextStream(stdout) << "Velmora: settings file " << gstrFicheiroIni() << ", decimal '" << l.gstrDecSep
                        << "', thousands '" << l.gstrMilSep << "', date format '" << l.gstrFormatoData
                        << "', date separator '" << l.gstrDataSep << "'\n";
    return 0;
}
