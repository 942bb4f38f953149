#include "app/OSTREVALE.h"

#include "app/EntryItemDelegate.h"
#include "app/MyProgressDialog.h"
#include "app/ProgressLabel.h"
#include "archive/IMGClass.h"
#include "view/IMGSortFilterProxyModel.h"
#include "view/IMGTableModel.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QMimeData>
#include <QRegExp>
#include <QUrl>

// The icons are compiled into this library; registering them from here, before
// main runs, keeps the linker from dropping them from any program that uses the window.
static int RegisterResources()
{
    Q_INIT_RESOURCE(OSTREVALE);
    return 0;
}
[[maybe_unused]] static const int resourcesRegistered = RegisterResources();

namespace {

const QString kDefaultIcon = QStringLiteral(":/Ostrevale/Resources/ostrevale.png");
const QString kVersion1Icon = QStringLiteral(":/Ostrevale/Resources/vc.png");
const QString kVersion2Icon = QStringLiteral(":/Ostrevale/Resources/sa.png");
const QString kImgFilter = QStringLiteral("IMG文件 (*.img)");
const QString kRoot = QStringLiteral("/");
// The progress dialog is drawn at most this often: ten frames a second.
constexpr qint64 kProgressFrameMs = 100;

} // namespace

OSTREVALE::OSTREVALE(QWidget *parent)
    : QMainWindow(parent)
{
    ui.setupUi(this);
    setWindowIcon(QIcon(kDefaultIcon));

    tableModel = new IMGTableModel(this);
    proxyModel = new IMGSortFilterProxyModel(this);
    proxyModel->setFilterKeyColumn(0);
    proxyModel->setSourceModel(tableModel);
    ui.tableView->setModel(proxyModel);
    ui.tableView->setItemDelegate(new EntryItemDelegate(ui.tableView));
    ui.tableView->addAction(ui.action_export);
    ui.tableView->addAction(ui.action_delete);
    ui.action_new_ver1->setIcon(QIcon(kVersion1Icon));
    ui.action_new_ver2->setIcon(QIcon(kVersion2Icon));

    // No cancel button (null text) and no close button (custom title bar hints).
    progressDialog = new MyProgressDialog(QStringLiteral(""), QString(), 0, 1, this,
                                          Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    progressLabel = new ProgressLabel(progressDialog);
    progressLabel->setText(QStringLiteral(""));
    progressDialog->setLabel(progressLabel);
    progressDialog->close();

    imgClass = new IMGClass(this);

    connect(ui.action_new_ver1, &QAction::triggered, this, &OSTREVALE::NewIMGVersion1);
    connect(ui.action_new_ver2, &QAction::triggered, this, &OSTREVALE::NewIMGVersion2);
    connect(ui.action_open, &QAction::triggered, this, &OSTREVALE::OpenIMG);
    connect(ui.action_close, &QAction::triggered, this, &OSTREVALE::CloseIMG);
    connect(ui.action_exit, &QAction::triggered, ui.action_exit, &QCoreApplication::quit);
    connect(ui.action_import, &QAction::triggered, this, &OSTREVALE::ImportChosenFiles);
    connect(ui.action_import_folder, &QAction::triggered, this, &OSTREVALE::ImportFolder);
    connect(ui.action_export, &QAction::triggered, this, &OSTREVALE::ExportSelectedFiles);
    connect(ui.action_delete, &QAction::triggered, this, &OSTREVALE::DeleteSelectedFiles);
    connect(ui.action_rebuild, &QAction::triggered, this, &OSTREVALE::RebuildIMG);
    connect(ui.action_showqtinfo, &QAction::triggered, this, &OSTREVALE::ShowAboutQt);
    connect(imgClass, &IMGClass::IncreaseProgressBar, this, &OSTREVALE::AdvanceProgress);
    connect(imgClass, &IMGClass::ImportingFileFullPath, progressDialog, &QProgressDialog::setLabelText);
    connect(imgClass, &IMGClass::ExportingFileName, progressDialog, &QProgressDialog::setLabelText);
    connect(imgClass, &IMGClass::RebuildingFileName, progressDialog, &QProgressDialog::setLabelText);
    connect(imgClass, &IMGClass::IMGDirectoryChanged, this, &OSTREVALE::RefreshEntryTable);
    connect(imgClass, &IMGClass::ErrorOccoured, this, &OSTREVALE::ShowErrorMessage);
    connect(ui.lineEdit, &QLineEdit::textChanged, this, &OSTREVALE::FilterEntries);
}

OSTREVALE::~OSTREVALE() = default;

void OSTREVALE::OpenIMG()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择一个IMG文件"), kRoot, kImgFilter);
    if (path.isEmpty())
        return;
    OpenIMGFile(path);
}

void OSTREVALE::OpenIMGFile(const QString &path)
{
    CloseIMG();
    if (!imgClass->OpenArchive(path))
        return;
    SetArchiveControlsEnabled(true);
    setWindowTitle(QStringLiteral("OSTREVALE (%1)").arg(path));
    UpdateWindowIcon();
}

void OSTREVALE::NewIMGVersion1()
{
    NewIMG(1);
}

void OSTREVALE::NewIMGVersion2()
{
    NewIMG(2);
}

void OSTREVALE::NewIMG(int version)
{
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("选择保存位置"), kRoot, kImgFilter);
    if (path.isEmpty())
        return;
    if (!imgClass->CreateArchive(path, version))
        return;
    OpenIMGFile(path);
}

void OSTREVALE::CloseIMG()
{
    imgClass->CloseArchive();
    // One past the last column: the proxy falls back to directory order, so the
    // next archive is not listed in the previous archive's sort order.
    ui.tableView->horizontalHeader()->setSortIndicator(IMGTableModel::ColumnCount, Qt::AscendingOrder);
    SetArchiveControlsEnabled(false);
    UpdateWindowIcon();
    setWindowTitle(QStringLiteral("OSTREVALE"));
}

void OSTREVALE::SetArchiveControlsEnabled(bool enabled)
{
    setAcceptDrops(enabled);
    ui.tableView->setEnabled(enabled);
    ui.action_close->setEnabled(enabled);
    ui.action_import->setEnabled(enabled);
    ui.action_import_folder->setEnabled(enabled);
    ui.action_export->setEnabled(enabled);
    ui.action_delete->setEnabled(enabled);
    ui.action_rebuild->setEnabled(enabled);
    ui.lineEdit->clear();
    ui.lineEdit->setEnabled(enabled);
}

void OSTREVALE::UpdateWindowIcon()
{
    switch (imgClass->version) {
    case 1:
        setWindowIcon(QIcon(kVersion1Icon));
        break;
    case 2:
        setWindowIcon(QIcon(kVersion2Icon));
        break;
    default:
        setWindowIcon(QIcon(kDefaultIcon));
        break;
    }
}

template <typename Operation>
void OSTREVALE::RunLongOperation(const QString &title, int maximum, Operation operation)
{
    progressDialog->setWindowTitle(title);
    progressDialog->setRange(0, maximum);
    progressDialog->setValue(0);
    progressFrameClock.invalidate();
    progressLabel->Remeasure();
    progressDialog->QDialog::open();
    operation();
    progressDialog->close();
    progressDialog->setUpdatesEnabled(true);
    if (!ui.tableView->updatesEnabled()) {
        ui.tableView->setUpdatesEnabled(true);
        ui.tableView->repaint();
    }
}

void OSTREVALE::ImportChosenFiles()
{
    ImportFileList(QFileDialog::getOpenFileNames(this, QStringLiteral("选择要导入的文件"), kRoot,
                                                 QStringLiteral("所有文件 (*.*)")));
}

void OSTREVALE::ImportFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("选择要导入的文件夹"),
                                                             kRoot, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    const QStringList files = CollectFolderFiles(QDir(folder));
    if (files.isEmpty()) {
        ShowErrorMessage({QStringLiteral("没有文件可以导入")});
        return;
    }
    ImportFileList(files);
}

void OSTREVALE::ImportFileList(const QStringList &files)
{
    if (files.isEmpty())
        return;
    RunLongOperation(QStringLiteral("正在导入"), files.size(), [&] { imgClass->ImportFiles(files); });
}

void OSTREVALE::ExportSelectedFiles()
{
    ExportSelectedFilesTo(QFileDialog::getExistingDirectory(this, QStringLiteral("选择导出文件存放的文件夹"),
                                                            kRoot, QFileDialog::ShowDirsOnly));
}

void OSTREVALE::ExportSelectedFilesTo(const QString &folder)
{
    QModelIndexList rows = ui.tableView->selectionModel()->selectedRows(0);
    if (folder.isEmpty() || rows.isEmpty())
        return;
    MapRowsToSource(rows);
    RunLongOperation(QStringLiteral("正在导出"), rows.size(), [&] { imgClass->ExportEntries(folder, rows); });
}

void OSTREVALE::DeleteSelectedFiles()
{
    QModelIndexList rows = ui.tableView->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return;
    MapRowsToSource(rows);
    imgClass->DeleteEntries(rows);
}

void OSTREVALE::RebuildIMG()
{
    RunLongOperation(QStringLiteral("正在重建"), int(imgClass->directory.size()),
                     [&] { imgClass->Rebuild(); });
    // The rebuild replaced the archive's files and left them closed: read them again.
    OpenIMGFile(imgClass->ImgFileName());
}

void OSTREVALE::MapRowsToSource(QModelIndexList &rows)
{
    for (QModelIndex &row : rows)
        row = proxyModel->mapToSource(row);
}

void OSTREVALE::AdvanceProgress()
{
    // Every step sets the value and every file its label, but painting them
    // costs more than copying a small file: between frames the dialog's updates
    // are off, and switching them on again repaints the whole dialog once.
    const bool frameDue = !progressFrameClock.isValid() || progressFrameClock.elapsed() >= kProgressFrameMs;
    if (frameDue)
        progressFrameClock.start();
    progressDialog->setUpdatesEnabled(frameDue);
    if (frameDue) {
        // The dialog grows to fit the latest label, and the table shows the latest directory.
        progressLabel->Remeasure();
        progressDialog->setLabelText(progressDialog->labelText());
        ui.tableView->setUpdatesEnabled(true);
    }
    progressDialog->setValue(progressDialog->value() + 1);
}

void OSTREVALE::RefreshEntryTable(const std::vector<IMGDirectoryEntryWrap> &newData)
{
    static_cast<IMGTableModel *>(proxyModel->sourceModel())->SetEntries(newData);
    // An import that makes room in a version 2 directory announces it many times;
    // while the progress dialog is up the table is drawn with the dialog's frames.
    if (progressDialog->isVisible())
        ui.tableView->setUpdatesEnabled(false);
    else
        ui.tableView->repaint();
}

void OSTREVALE::FilterEntries(const QString &text)
{
    ui.tableView->clearSelection();
    const QRegExp filter(text, Qt::CaseSensitive, QRegExp::RegExp);
    // A cleared filter brings every row back in one layout change.
    const IMGSortFilterProxyModel::FilterChange change(*proxyModel, filter);
    proxyModel->setFilterRegExp(filter);
}

void OSTREVALE::ShowErrorMessage(std::initializer_list<QString> args)
{
    QString message;
    for (const QString &piece : args)
        message += piece;
    QMessageBox::critical(nullptr, QStringLiteral("错误"), message, QMessageBox::Ok, QMessageBox::NoButton);
}

void OSTREVALE::ShowAboutQt()
{
    QMessageBox::aboutQt(this, QStringLiteral("关于Qt"));
}

void OSTREVALE::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
}

void OSTREVALE::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;

    QStringList files;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        // A URL without a local path (a web address) gives an empty path, which
        // QFileInfo would take for the working folder: it is no file of ours.
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir())
            files << CollectFolderFiles(QDir(path));
        else
            files << path;
    }
    if (files.isEmpty()) {
        ShowErrorMessage({QStringLiteral("没有文件可以导入")});
        return;
    }
    ImportFileList(files);
}
