#pragma once
// frmBrowseFolders: the folder picker of the settings screen. A tree of the machine's folders,
// the chosen folder's path, "&OK" and "&Cancelar". ShowForm opens it at the caller's folder
// (the user's home folder when that is no folder) and, when the user confirms, hands the
// chosen folder back through the same argument. Like every screen it shows the main window's
// icon (SetIcon).

#include <QDialog>
#include <QString>

#include "platform/byref.h"

class QFileSystemModel;
class QLineEdit;
class QPushButton;
class QTreeView;

class frmBrowseFolders : public QDialog {
    Q_OBJECT

public:
    explicit frmBrowseFolders(QWidget* parent = nullptr);

    // Modal; True when the user confirmed a folder, which then replaces Pasta.
    bool ShowForm(platform::Ref<QString> Pasta);

    // The folder the tree shows as chosen ("" when none).
    QString pastaEscolhida() const;
    void escolherPasta(const QString& path);

    QTreeView* dirPastas() const { return tree_; }
    QLineEdit* txtPasta() const { return path_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancelar() const { return cancel_; }

private:
    QFileSystemModel* model_;
    QTreeView* tree_;
    QLineEdit* path_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
