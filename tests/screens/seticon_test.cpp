// Every screen of the menu shows the main window's icon, and so the scheduler's state.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTimer>
#include <functional>
#include <memory>

#include "extractor/gui/WMenu.h"
#include "screens/frmBrowseFolders.h"
#include "screens/frmConfigura.h"
#include "screens/frmProcessaManual.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"

TEST(SetIconOfTheScreens, EachScreenTakesTheMainWindowsCurrentIcon) {
    testsupport::TempProgramFolder program;
    testsupport::MessageBoxRecorder boxes;
    const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> ecras[] = {
        {"frmBrowseFolders", [] { return std::make_unique<frmBrowseFolders>(); }},
        {"frmConfigura", [] { return std::make_unique<frmConfigura>(); }},
        {"frmProcessaManual", [] { return std::make_unique<frmProcessaManual>(); }},
    };
    for (const auto& [nome, abre] : ecras) {
        EXPECT_TRUE(abre()->windowIcon().isNull()) << nome << ": no main window, no icon";
    }
    WMenu menu;
    menu.Timer1->stop();
    for (const int imagem : {3, 1}) {
        menu.chkActiva->setChecked(imagem == 1);
        for (const auto& [nome, abre] : ecras) {
            EXPECT_EQ(abre()->windowIcon().cacheKey(), menu.imagem(imagem).cacheKey()) << nome << ", image " << imagem;
        }
    }
}
