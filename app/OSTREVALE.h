#pragma once

#include "archive/io/FolderFiles.h"
#include "archive/format/IMGFormat.h"
#include "ui_OSTREVALE.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QModelIndexList>
#include <QStringList>

#include <initializer_list>
#include <vector>

class IMGClass;
class IMGSortFilterProxyModel;
class IMGTableModel;
class MyProgressDialog;
class ProgressLabel;

// The editor's main window. Its commands call the archive object directly; the
// archive object answers through its signals (progress, directory, errors).
class OSTREVALE : public QMainWindow
{
    Q_OBJECT

public:
    explicit OSTREVALE(QWidget *parent = nullptr);
    ~OSTREVALE() override;

    // Open, new and close.
    void OpenIMG();
    void OpenIMGFile(const QString &path);
    void NewIMGVersion1();
    void NewIMGVersion2();
    void CloseIMG();

    // Editing commands.
    void ImportChosenFiles();
    void ImportFolder();
    void ImportFileList(const QStringList &files);
    void ExportSelectedFiles();
    void ExportSelectedFilesTo(const QString &folder);
    void DeleteSelectedFiles();
    void RebuildIMG();

    // Receivers of the archive object's and the search box's signals.
    void AdvanceProgress();
    void RefreshEntryTable(const std::vector<IMGDirectoryEntryWrap> &newData);
    void FilterEntries(const QString &text);
    // Joins the pieces while the emitting call is still running: they do not outlive it.
    static void ShowErrorMessage(std::initializer_list<QString> args);
    void ShowAboutQt();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void NewIMG(int version);
    void SetArchiveControlsEnabled(bool enabled);
    void UpdateWindowIcon();
    void MapRowsToSource(QModelIndexList &rows);
    // Shows the progress dialog around one long archive operation.
    template <typename Operation>
    void RunLongOperation(const QString &title, int maximum, Operation operation);

    Ui::OSTREVALEClass ui;
    IMGTableModel *tableModel = nullptr;
    IMGSortFilterProxyModel *proxyModel = nullptr;
    MyProgressDialog *progressDialog = nullptr;
    IMGClass *imgClass = nullptr;
    // The progress dialog's label, and when the dialog last drew a frame (see AdvanceProgress).
    ProgressLabel *progressLabel = nullptr;
    QElapsedTimer progressFrameClock;
};
