#include "screens/frmBrowseFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "util/EDiv.h"
#include "util/gui/IconeDoMenu.h"

frmBrowseFolders::frmBrowseFolders(QWidget* parent)
    : QDialog(parent),
      model_(new QFileSystemModel(this)),
      tree_(new QTreeView(this)),
      path_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("&OK"), this)),
      cancel_(new QPushButton(QStringLiteral("&Cancelar"), this)) {
    setObjectName(QStringLiteral("frmBrowseFolders"));
    setWindowTitle(QStringLiteral("Procurar Pasta"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    tree_->setObjectName(QStringLiteral("dirPastas"));
    path_->setObjectName(QStringLiteral("txtPasta"));
    ok_->setObjectName(QStringLiteral("cmdOK"));
    cancel_->setObjectName(QStringLiteral("cmdCancelar"));

    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    tree_->setModel(model_);
    for (int c = 1; c < model_->columnCount(); ++c) tree_->hideColumn(c);
    tree_->header()->hide();
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    // The path shows what the tree chose; only an existing folder can be picked.
    path_->setReadOnly(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    layout->addWidget(path_);
    layout->addLayout(buttons);
    resize(420, 360);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { path_->setText(model_->filePath(current)); });
    connect(tree_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) { tree_->expand(index); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (!pastaEscolhida().isEmpty()) accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    ok_->setDefault(true);

    SetIcon(this);
    eFun().CenterForm(this);
}

QString frmBrowseFolders::pastaEscolhida() const {
    const QModelIndex current = tree_->currentIndex();
    if (!current.isValid()) return QString();
    const QString path = model_->filePath(current);
    return QFileInfo(path).isDir() ? QDir::cleanPath(path) : QString();
}

void frmBrowseFolders::escolherPasta(const QString& path) {
    const QModelIndex index = model_->index(QDir::cleanPath(path));
    if (!index.isValid()) return;
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
}

bool frmBrowseFolders::ShowForm(platform::Ref<QString> Pasta) {
    const QFileInfo start(*Pasta);
    escolherPasta(!Pasta->isEmpty() && start.isDir() ? start.absoluteFilePath() : QDir::homePath());
    if (exec() != QDialog::Accepted) return false;
    *Pasta = pastaEscolhida();
    return true;
}
