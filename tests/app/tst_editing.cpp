#include "ContentFixtures.h"
#include "ModalAnswerer.h"
#include "SignalLog.h"
#include "TestFolder.h"
#include "WindowProbe.h"

#include "app/MyProgressDialog.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QtTest>

using namespace Fixtures;
using namespace Probe;

namespace {

// Entries laid out with gaps between them, so that a rebuild has space to reclaim.
const std::vector<Record> kRecords = {
    {2, 3, "b.dff"}, {8, 5, "a.txd"}, {20, 1, "C.dff"}, {25, 2, "modeltxd.col"}, {40, 4, "中文.dff"}};
const QStringList kNames = {"b.dff", "a.txd", "C.dff", "modeltxd.col", "中文.dff"};

// Everything the progress dialog showed during one command.
struct ProgressRecorder
{
    explicit ProgressRecorder(const OSTREVALE &w, bool pressEscape = false)
        : dialog(Progress(w))
    {
        QObject::connect(dialog->findChild<QProgressBar *>(), &QProgressBar::valueChanged,
                         [this, pressEscape](int v) {
                             values << v;
                             if (v == 0) {
                                 title = dialog->windowTitle();
                                 minimum = dialog->minimum();
                                 maximum = dialog->maximum();
                                 return;
                             }
                             // From the first step on the dialog is up, window-modal, until the last step.
                             shownEveryStep = shownEveryStep && dialog->isVisible() &&
                                              dialog->windowModality() == Qt::WindowModal;
                             if (pressEscape && v == 1)
                                 QTest::keyClick(dialog, Qt::Key_Escape);
                         });
        const auto label = [this] { labels << dialog->labelText(); };
        IMGClass *img = Archive(w);
        QObject::connect(img, &IMGClass::ImportingFileFullPath, label);
        QObject::connect(img, &IMGClass::ExportingFileName, label);
        QObject::connect(img, &IMGClass::RebuildingFileName, label);
    }

    QProgressDialog *dialog;
    QList<int> values;
    QStringList labels;
    QString title;
    int minimum = -2;
    int maximum = -2;
    bool shownEveryStep = true;
};

QList<int> Steps(int n)
{
    QList<int> out;
    for (int i = 0; i <= n; ++i)
        out << i;
    return out;
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void escapeDoesNotCloseTheProgressDialog();

    void importChosenFiles_data();
    void importChosenFiles();
    void importCancelledDoesNothing();
    void importFolderInNameOrder();
    void importFolderWithoutPlainFiles_data();
    void importFolderWithoutPlainFiles();
    void importErrorShowsBoxOverProgress();
    void longImportKeepsEveryStepAndRedraws();

    void exportSortedAndFiltered_data();
    void exportSortedAndFiltered();
    void exportOrDeleteWithNothingSelected();
    void deleteSortedAndFiltered_data();
    void deleteSortedAndFiltered();

    void rebuildReopens_data();
    void rebuildReopens();

    void dropFilesAndFolders();
    void dropOnlyEmptyFolders();
    void dropWebAddressIsNoFolder();
    void dropWithoutUriListIsRefused();
    void dropsRefusedWithoutArchive();

    void shortcutsWorkOnlyWithArchive();
    void userFlowThroughMenusAndDialogs();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString StockArchivePath(int version);
    QString MakeFile(const QString &name, int seed, int length);
    void OpenShown(OSTREVALE &w, const QString &archive);
    static bool Drop(OSTREVALE &w, const QList<QUrl> &urls, QWidget *over, QMimeData *data = nullptr);
    static QStringList ImportedPaths(const SignalLog &log);

    TestFolder dir;
};

void TestEditing::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QLocale::setDefault(QLocale::c());
}

void TestEditing::init()
{
    QVERIFY(dir.Renew());
}

QString TestEditing::StockArchivePath(int version)
{
    const QString p = path(QStringLiteral("a.img"));
    return WriteArchive(p, version, kRecords) ? p : QString();
}

QString TestEditing::MakeFile(const QString &name, int seed, int length)
{
    const QString p = path(name);
    QDir().mkpath(QFileInfo(p).absolutePath());
    return WriteFile(p, Pattern(seed, length)) ? p : QString();
}

void TestEditing::OpenShown(OSTREVALE &w, const QString &archive)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.OpenIMGFile(archive);
    QCOMPARE(Archive(w)->directory.size(), kRecords.size());
}

// Drags URLs over a widget of the window and drops them, through the window's
// own event handling as the platform delivers it: the drop goes to the nearest
// widget that accepts drops. Returns whether the drag was accepted.
bool TestEditing::Drop(OSTREVALE &w, const QList<QUrl> &urls, QWidget *over, QMimeData *data)
{
    QMimeData uriList;
    if (!data) {
        uriList.setUrls(urls);
        data = &uriList;
    }
    const QPoint pos = over->mapTo(&w, over->rect().center());
    QWindow *window = w.windowHandle();
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window, &leave);
        return false;
    }
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return true;
}

QStringList TestEditing::ImportedPaths(const SignalLog &log)
{
    QStringList out;
    for (const QString &line : log.lines)
        if (line.startsWith(QStringLiteral("importing ")))
            out << line.mid(10);
    return out;
}

void TestEditing::escapeDoesNotCloseTheProgressDialog()
{
    MyProgressDialog mine(QStringLiteral(""), QString(), 0, 10);
    QProgressDialog plain(QStringLiteral(""), QString(), 0, 10);
    for (QProgressDialog *d : {static_cast<QProgressDialog *>(&mine), &plain}) {
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QTest::keyClick(d, Qt::Key_Escape);
    }
    QVERIFY(mine.isVisible());
    QVERIFY(!mine.wasCanceled());
    QVERIFY(!plain.isVisible()); // the toolkit's own dialog would have gone
    // Other keys still reach the dialog.
    QTest::keyClick(&mine, Qt::Key_Return);
    QVERIFY(mine.isVisible());
}

void TestEditing::importChosenFiles_data()
{
    AddVersionRows();
}

void TestEditing::importChosenFiles()
{
    QFETCH(int, version);
    const QString archive = StockArchivePath(version);
    QVERIFY(!archive.isEmpty());
    const QStringList files = {MakeFile("src/new one.bin", 11, 5000), MakeFile("src/B.DFF", 12, 2048),
                               MakeFile("src/a.txd", 13, 10)}; // B.DFF replaces b.dff

    OSTREVALE w;
    OpenShown(w, archive);
    SignalLog log(*Archive(w));
    ProgressRecorder progress(w, true);
    ModalAnswerer::DialogRecord dialog;
    ModalAnswerer answerer({ModalAnswerer::Record(
        &dialog, ModalAnswerer::ChooseMany(path("src"), {"new one.bin", "B.DFF", "a.txd"}))});
    Action(w, "action_import")->trigger();

    QCOMPARE(answerer.answered, 1);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(dialog.caption, QStringLiteral("选择要导入的文件"));
    QCOMPARE(dialog.directory, QStringLiteral("/"));
    QCOMPARE(dialog.nameFilters, QStringList{"所有文件 (*.*)"});
    QCOMPARE(dialog.fileMode, QFileDialog::ExistingFiles);

    QCOMPARE(progress.title, QStringLiteral("正在导入"));
    QCOMPARE(progress.minimum, 0);
    QCOMPARE(progress.maximum, 3);
    QCOMPARE(progress.values, Steps(3));
    QVERIFY(progress.shownEveryStep); // Escape at the first step changed nothing
    QCOMPARE(progress.labels, files);
    QCOMPARE(progress.dialog->labelText(), files.last());
    QVERIFY(progress.dialog->isHidden());
    QCOMPARE(ImportedPaths(log), files);

    // The table follows: one new entry, two replaced in place.
    QCOMPARE(Shown(w), (QStringList{"B.DFF", "a.txd", "C.dff", "modeltxd.col", "中文.dff", "new one.bin"}));
    const std::vector<Record> onDisk = ReadRecords(archive, version);
    QCOMPARE(onDisk.size(), size_t(6));
    const QByteArray img = ReadFile(archive);
    QCOMPARE(EntryData(img, onDisk[5]).left(5000), Pattern(11, 5000));
    QCOMPARE(EntryData(img, onDisk[0]), Pattern(12, 2048));
}

void TestEditing::importCancelledDoesNothing()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QByteArray before = ReadFile(archive);
    OSTREVALE w;
    OpenShown(w, archive);
    ProgressRecorder progress(w);
    ModalAnswerer answerer({ModalAnswerer::Cancel()});
    Action(w, "action_import")->trigger();
    QCOMPARE(answerer.answered, 1);
    QVERIFY(progress.values.isEmpty());
    QCOMPARE(ReadFile(archive), before);
    QCOMPARE(Shown(w), kNames);
}

void TestEditing::importFolderInNameOrder()
{
    const QString archive = StockArchivePath(1);
    QVERIFY(!archive.isEmpty());
    MakeFile("in/c.bin", 1, 100);
    MakeFile("in/B.bin", 2, 100);
    MakeFile("in/a.bin", 3, 100);
    MakeFile("in/.hidden", 4, 100);
    MakeFile("in/sub/d.bin", 5, 100);

    OSTREVALE w;
    OpenShown(w, archive);
    SignalLog log(*Archive(w));
    ProgressRecorder progress(w);
    ModalAnswerer::DialogRecord dialog;
    ModalAnswerer answerer({ModalAnswerer::Record(&dialog, ModalAnswerer::Choose(path("in")))});
    Action(w, "action_import_folder")->trigger();

    QCOMPARE(answerer.answered, 1);
    QCOMPARE(dialog.caption, QStringLiteral("选择要导入的文件夹"));
    QCOMPARE(dialog.directory, QStringLiteral("/"));
    QVERIFY(dialog.options.testFlag(QFileDialog::ShowDirsOnly));
    QVERIFY(dialog.fileMode != QFileDialog::AnyFile && dialog.fileMode != QFileDialog::ExistingFile &&
            dialog.fileMode != QFileDialog::ExistingFiles); // a folder dialog

    // Name order ignoring case; no hidden files, nothing from subfolders; absolute paths.
    const QStringList expected = {path("in/a.bin"), path("in/B.bin"), path("in/c.bin")};
    QCOMPARE(ImportedPaths(log), expected);
    QCOMPARE(progress.title, QStringLiteral("正在导入"));
    QCOMPARE(progress.values, Steps(3));
    QCOMPARE(progress.labels, expected);
    QCOMPARE(CollectFolderFiles(QDir(path("in"))), expected);
}

void TestEditing::importFolderWithoutPlainFiles_data()
{
    QTest::addColumn<QStringList>("contents");
    QTest::newRow("empty") << QStringList();
    QTest::newRow("only subfolders") << QStringList{"sub/x.bin", "other/y.bin"};
    QTest::newRow("only hidden files") << QStringList{".x", ".y.bin"};
}

void TestEditing::importFolderWithoutPlainFiles()
{
    QFETCH(QStringList, contents);
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QByteArray before = ReadFile(archive);
    QVERIFY(QDir().mkpath(path("in")));
    for (const QString &name : contents)
        MakeFile("in/" + name, 1, 10);

    OSTREVALE w;
    OpenShown(w, archive);
    ProgressRecorder progress(w);
    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Choose(path("in")), ModalAnswerer::Box(&box)});
    Action(w, "action_import_folder")->trigger();

    QCOMPARE(answerer.answered, 2);
    QCOMPARE(box.title, QStringLiteral("错误"));
    QCOMPARE(box.text, QStringLiteral("没有文件可以导入"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(progress.values.isEmpty());
    QCOMPARE(ReadFile(archive), before);
}

void TestEditing::importErrorShowsBoxOverProgress()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QString good = MakeFile("src/good.bin", 1, 100);
    const QString missing = path("src/missing.bin");
    const QString after = MakeFile("src/after.bin", 2, 100);

    OSTREVALE w;
    OpenShown(w, archive);
    ProgressRecorder progress(w);
    BoxRecord box;
    bool progressUnderBox = false;
    ModalAnswerer answerer({[&](QWidget *widget) {
        progressUnderBox = progress.dialog->isVisible();
        ModalAnswerer::Box (&box)(widget);
    }});
    w.ImportFileList({good, missing, after});

    QCOMPARE(answerer.answered, 1);
    QCOMPARE(box.text, QStringLiteral("打开 %1 失败").arg(missing));
    QVERIFY(progressUnderBox);
    QVERIFY(progress.dialog->isHidden()); // closed although it never reached its maximum
    QCOMPARE(progress.maximum, 3);
    QCOMPARE(Shown(w).size(), kNames.size() + 1); // the file before the failure stays imported
    QVERIFY(Action(w, "action_close")->isEnabled());
}

void TestEditing::longImportKeepsEveryStepAndRedraws()
{
    // Enough new names that the version 2 directory needs room several times,
    // each announcing a new directory while the progress dialog is up.
    const QString archive = path("big.img");
    QVERIFY(IMGClass().CreateArchive(archive, 2));
    QStringList files;
    for (int i = 0; i < 300; ++i)
        files << MakeFile(QStringLiteral("many/file_%1.bin").arg(i, 3, 10, QLatin1Char('0')), i, 3000);

    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.OpenIMGFile(archive);
    int announcements = 0;
    QObject::connect(Archive(w), &IMGClass::IMGDirectoryChanged, [&] { ++announcements; });
    ProgressRecorder progress(w);
    w.ImportFileList(files);

    QVERIFY(announcements > 2);
    QCOMPARE(progress.values, Steps(300));
    QVERIFY(progress.shownEveryStep);
    QCOMPARE(progress.labels, files);
    QVERIFY(progress.dialog->isHidden());
    // Painting was held back between frames only: everything draws again afterwards.
    QVERIFY(progress.dialog->updatesEnabled());
    QVERIFY(Table(w)->updatesEnabled());
    QCOMPARE(Table(w)->model()->rowCount(), 300);
    QCOMPARE(ReadRecords(archive, 2).size(), size_t(300));
}

void TestEditing::exportSortedAndFiltered_data()
{
    AddVersionRows();
}

void TestEditing::exportSortedAndFiltered()
{
    QFETCH(int, version);
    const QString archive = StockArchivePath(version);
    QVERIFY(!archive.isEmpty());
    const QByteArray img = ReadFile(archive);
    QVERIFY(QDir().mkpath(path("out")));

    OSTREVALE w;
    OpenShown(w, archive);
    Table(w)->sortByColumn(1, Qt::DescendingOrder);
    Search(w)->setText(QStringLiteral("dff"));
    QCOMPARE(Shown(w), (QStringList{"中文.dff", "b.dff", "C.dff"}));
    SelectByName(w, {"中文.dff", "C.dff"});

    SignalLog log(*Archive(w));
    ProgressRecorder progress(w);
    ModalAnswerer::DialogRecord dialog;
    ModalAnswerer answerer({ModalAnswerer::Record(&dialog, ModalAnswerer::Choose(path("out")))});
    Action(w, "action_export")->trigger();

    QCOMPARE(answerer.answered, 1);
    QCOMPARE(dialog.caption, QStringLiteral("选择导出文件存放的文件夹"));
    QCOMPARE(dialog.directory, QStringLiteral("/"));
    QVERIFY(dialog.options.testFlag(QFileDialog::ShowDirsOnly));
    QCOMPARE(progress.title, QStringLiteral("正在导出"));
    QCOMPARE(progress.maximum, 2);
    QCOMPARE(progress.values, Steps(2));
    QCOMPARE(progress.labels, (QStringList{"中文.dff", "C.dff"}));
    QVERIFY(progress.dialog->isHidden());

    QCOMPARE(QDir(path("out")).entryList(QDir::Files, QDir::Name), (QStringList{"C.dff", "中文.dff"}));
    QCOMPARE(ReadFile(path("out/C.dff")), EntryData(img, kRecords[2]));
    QCOMPARE(ReadFile(path("out/中文.dff")), EntryData(img, kRecords[4]));
    QCOMPARE(Shown(w), (QStringList{"中文.dff", "b.dff", "C.dff"})); // export changes nothing shown
}

void TestEditing::exportOrDeleteWithNothingSelected()
{
    const QString archive = StockArchivePath(1);
    QVERIFY(!archive.isEmpty());
    const QByteArray before = ReadFile(archive) + ReadFile(DirPathFor(archive));
    QVERIFY(QDir().mkpath(path("out")));
    OSTREVALE w;
    OpenShown(w, archive);
    ProgressRecorder progress(w);

    // Export still asks for the folder, then does nothing.
    ModalAnswerer answerer({ModalAnswerer::Choose(path("out"))});
    Action(w, "action_export")->trigger();
    Action(w, "action_delete")->trigger();
    QCOMPARE(answerer.answered, 1);
    QTest::qWait(50);
    QCOMPARE(answerer.unexpected, 0);
    QVERIFY(progress.values.isEmpty());
    QVERIFY(QDir(path("out")).isEmpty());
    QCOMPARE(ReadFile(archive) + ReadFile(DirPathFor(archive)), before);
    QCOMPARE(Shown(w), kNames);
}

void TestEditing::deleteSortedAndFiltered_data()
{
    AddVersionRows();
}

void TestEditing::deleteSortedAndFiltered()
{
    QFETCH(int, version);
    const QString archive = StockArchivePath(version);
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    OpenShown(w, archive);
    Table(w)->sortByColumn(0, Qt::AscendingOrder);
    Search(w)->setText(QStringLiteral("\\.[dt]"));
    QCOMPARE(Shown(w), (QStringList{"C.dff", "a.txd", "b.dff", "中文.dff"}));
    SelectByName(w, {"a.txd", "中文.dff"});

    ProgressRecorder progress(w);
    ModalAnswerer answerer({}); // no question is asked
    Action(w, "action_delete")->trigger();
    QTest::qWait(50);
    QCOMPARE(answerer.unexpected, 0);
    QVERIFY(progress.values.isEmpty()); // no progress dialog

    QStringList left;
    for (const Record &r : ReadRecords(archive, version))
        left << QString::fromUtf8(r.name);
    QCOMPARE(left, (QStringList{"b.dff", "C.dff", "modeltxd.col"}));
    QCOMPARE(Shown(w), (QStringList{"C.dff", "b.dff"})); // sort and filter stay in force
}

void TestEditing::rebuildReopens_data()
{
    AddVersionRows();
}

void TestEditing::rebuildReopens()
{
    QFETCH(int, version);
    const QString archive = StockArchivePath(version);
    QVERIFY(!archive.isEmpty());
    const QByteArray img = ReadFile(archive);
    OSTREVALE w;
    OpenShown(w, archive);
    Table(w)->sortByColumn(1, Qt::AscendingOrder);
    Search(w)->setText(QStringLiteral("dff"));

    ProgressRecorder progress(w, true);
    Action(w, "action_rebuild")->trigger();

    QCOMPARE(progress.title, QStringLiteral("正在重建"));
    QCOMPARE(progress.minimum, 0);
    QCOMPARE(progress.maximum, 5);
    QCOMPARE(progress.values, Steps(5));
    QVERIFY(progress.shownEveryStep);
    QCOMPARE(progress.labels, kNames); // every entry, in directory order
    QVERIFY(progress.dialog->isHidden());

    // Reopened from disk: search emptied, directory order, same title.
    QVERIFY(Search(w)->text().isEmpty());
    QCOMPARE(Shown(w), kNames);
    QCOMPARE(w.windowTitle(), QStringLiteral("OSTREVALE (%1)").arg(archive));
    QVERIFY(IconIs(w.windowIcon(), version == 1 ? kVersion1Icon : kVersion2Icon));
    const QByteArray rebuilt = ReadFile(archive);
    QVERIFY(rebuilt.size() < img.size());
    const std::vector<Record> records = ReadRecords(archive, version);
    QCOMPARE(records.size(), kRecords.size());
    for (size_t i = 0; i < records.size(); ++i)
        QCOMPARE(EntryData(rebuilt, records[i]), EntryData(img, kRecords[i]));
}

void TestEditing::dropFilesAndFolders()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QString one = MakeFile("drop/one.bin", 1, 10);
    const QString two = MakeFile("drop/two.bin", 2, 10);
    MakeFile("drop/folder/c.bin", 3, 10);
    MakeFile("drop/folder/A.bin", 4, 10);
    MakeFile("drop/folder/b.bin", 5, 10);
    MakeFile("drop/folder/sub/z.bin", 6, 10);
    MakeFile("drop/empty/sub/y.bin", 7, 10);

    OSTREVALE w;
    OpenShown(w, archive);
    SignalLog log(*Archive(w));
    ProgressRecorder progress(w);
    const QList<QUrl> urls = {QUrl::fromLocalFile(one), QUrl::fromLocalFile(path("drop/folder")),
                              QUrl::fromLocalFile(path("drop/empty")), QUrl::fromLocalFile(two)};
    // Dropped over the table, which takes no drops itself: the window does.
    QVERIFY(Drop(w, urls, Table(w)));

    const QStringList expected = {one, path("drop/folder/A.bin"), path("drop/folder/b.bin"),
                                  path("drop/folder/c.bin"), two};
    QCOMPARE(ImportedPaths(log), expected);
    QCOMPARE(progress.title, QStringLiteral("正在导入"));
    QCOMPARE(progress.maximum, 5);
    QCOMPARE(progress.values, Steps(5));
    QCOMPARE(progress.labels, expected);
    QCOMPARE(Shown(w).size(), kNames.size() + 5);
}

void TestEditing::dropOnlyEmptyFolders()
{
    const QString archive = StockArchivePath(1);
    QVERIFY(!archive.isEmpty());
    const QByteArray before = ReadFile(archive) + ReadFile(DirPathFor(archive));
    QVERIFY(QDir().mkpath(path("e1")));
    MakeFile("e2/sub/x.bin", 1, 10);
    MakeFile("e2/.hidden", 1, 10);

    OSTREVALE w;
    OpenShown(w, archive);
    ProgressRecorder progress(w);
    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Box(&box)});
    QVERIFY(Drop(w, {QUrl::fromLocalFile(path("e1")), QUrl::fromLocalFile(path("e2"))}, Search(w)));

    QCOMPARE(answerer.answered, 1);
    QCOMPARE(box.title, QStringLiteral("错误"));
    QCOMPARE(box.text, QStringLiteral("没有文件可以导入"));
    QVERIFY(progress.values.isEmpty());
    QCOMPARE(ReadFile(archive) + ReadFile(DirPathFor(archive)), before);
}

void TestEditing::dropWebAddressIsNoFolder()
{
    // A URL without a local path gives an empty path: it is skipped, never taken
    // for the working folder nor handed to the import as a file to open.
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QString file = MakeFile("drop/one.bin", 1, 10);
    MakeFile("cwd/must-not-import.bin", 2, 10);
    const QString before = QDir::currentPath();
    QDir::setCurrent(path("cwd"));

    OSTREVALE w;
    OpenShown(w, archive);
    SignalLog log(*Archive(w));
    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Box(&box)});
    QVERIFY(Drop(w, {QUrl(QStringLiteral("https://example.com/model.dff")), QUrl::fromLocalFile(file)},
                 Table(w)));
    QCOMPARE(ImportedPaths(log), QStringList{file});
    QCOMPARE(log.errors(), QStringList());
    QCOMPARE(answerer.answered, 0);

    // Only web addresses: there is nothing to import.
    QVERIFY(Drop(w, {QUrl(QStringLiteral("https://example.com/"))}, Table(w)));
    QDir::setCurrent(before);
    QCOMPARE(answerer.answered, 1);
    QCOMPARE(box.text, QStringLiteral("没有文件可以导入"));
    QCOMPARE(ImportedPaths(log), QStringList{file});
    QCOMPARE(Shown(w).size(), kNames.size() + 1);
}

void TestEditing::dropWithoutUriListIsRefused()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    OpenShown(w, archive);
    QMimeData text;
    text.setText(QStringLiteral("/tmp/x.bin"));
    QVERIFY(!Drop(w, {}, Table(w), &text));

    // A uri-list without URLs is taken, and ends silently.
    QMimeData empty;
    empty.setData(QStringLiteral("text/uri-list"), QByteArray());
    ModalAnswerer answerer({});
    QVERIFY(Drop(w, {}, Table(w), &empty));
    QTest::qWait(50);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(Shown(w), kNames);
}

void TestEditing::dropsRefusedWithoutArchive()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    const QString file = MakeFile("drop/one.bin", 1, 10);
    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!Drop(w, {QUrl::fromLocalFile(file)}, Table(w)));
    w.OpenIMGFile(archive);
    Action(w, "action_close")->trigger();
    QVERIFY(!Drop(w, {QUrl::fromLocalFile(file)}, Table(w)));
    QCOMPARE(ReadRecords(archive, 2).size(), kRecords.size());
}

void TestEditing::shortcutsWorkOnlyWithArchive()
{
    const QString archive = StockArchivePath(2);
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Ctrl+F imports a folder; there is no find. Without an archive it does nothing.
    {
        ModalAnswerer answerer({});
        QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+F")));
        QTest::qWait(50);
        QCOMPARE(answerer.unexpected, 0);
    }
    w.OpenIMGFile(archive);
    QString caption;
    ModalAnswerer answerer({ModalAnswerer::Cancel(&caption), ModalAnswerer::Cancel(&caption)});
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+F")));
    QCOMPARE(caption, QStringLiteral("选择要导入的文件夹"));
    w.activateWindow(); // the closed dialog leaves no active window behind offscreen
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+I")));
    QCOMPARE(caption, QStringLiteral("选择要导入的文件"));
    QCOMPARE(answerer.answered, 2);
}

void TestEditing::userFlowThroughMenusAndDialogs()
{
    // New archive, import a folder, export two rows, delete one, rebuild: all
    // through the actions and the real dialogs, checked on disk.
    MakeFile("in/x.bin", 1, 3000);
    MakeFile("in/y.bin", 2, 5000);
    MakeFile("in/z.bin", 3, 100);
    QVERIFY(QDir().mkpath(path("out")));
    const QString archive = path("flow.img");

    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    {
        ModalAnswerer answerer({ModalAnswerer::Choose(archive), ModalAnswerer::Choose(path("in"))});
        Action(w, "action_new_ver2")->trigger();
        Action(w, "action_import_folder")->trigger();
        QCOMPARE(answerer.answered, 2);
        QCOMPARE(answerer.unexpected, 0);
    }
    QCOMPARE(Shown(w), (QStringList{"x.bin", "y.bin", "z.bin"}));

    Table(w)->sortByColumn(1, Qt::DescendingOrder); // y (10 KB), x (6 KB), z (2 KB)
    SelectByName(w, {"y.bin", "z.bin"});
    {
        ModalAnswerer answerer({ModalAnswerer::Choose(path("out"))});
        Action(w, "action_export")->trigger();
        QCOMPARE(answerer.answered, 1);
    }
    QCOMPARE(ReadFile(path("out/y.bin")).left(5000), Pattern(2, 5000));
    QCOMPARE(ReadFile(path("out/z.bin")), Pattern(3, 100)); // last in the data file: not padded

    SelectByName(w, {"x.bin"});
    Action(w, "action_delete")->trigger();
    QCOMPARE(Shown(w), (QStringList{"y.bin", "z.bin"}));
    Action(w, "action_rebuild")->trigger();
    QCOMPARE(Shown(w), (QStringList{"y.bin", "z.bin"}));

    const std::vector<Record> records = ReadRecords(archive, 2);
    QCOMPARE(records.size(), size_t(2));
    const QByteArray img = ReadFile(archive);
    QCOMPARE(EntryData(img, records[0]).left(5000), Pattern(2, 5000));
    QCOMPARE(EntryData(img, records[1]).left(100), Pattern(3, 100));
    // Header sector and two free sectors, then y.bin (3 sectors) and z.bin (100 bytes).
    QCOMPARE(qint64(img.size()), 6 * SECTOR_SIZE + 100);
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
