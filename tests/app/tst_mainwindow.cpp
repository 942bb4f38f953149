#include "ContentFixtures.h"
#include "ModalAnswerer.h"
#include "TestFolder.h"
#include "WindowProbe.h"

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QtTest>

using namespace Fixtures;
using namespace Probe;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void actions_data();
    void actions();
    void menus();
    void tableAndSearchRow();
    void initialState();

    void openShowsArchive_data();
    void openShowsArchive();
    void failedOpenShowsOneBoxAndNoArchive_data();
    void failedOpenShowsOneBoxAndNoArchive();
    void openThroughDialog();
    void newArchive_data();
    void newArchive();
    void newCancelledOrFailedKeepsArchive();
    void closeReturnsToInitialState();
    void numbersShowDigitGrouping_data();
    void numbersShowDigitGrouping();
    void searchFiltersAndClearsSelection();
    void reopenResetsSearchAndSort();
    void aboutQt();
    void programOpensOnlyFirstArgument();
    void programAnswersAndExitsWithoutWindow_data();
    void programAnswersAndExitsWithoutWindow();
    void programOpensDashNamesAfterEndOfOptions_data();
    void programOpensDashNamesAfterEndOfOptions();
    void exitEndsTheEventLoop(); // last: it ends an event loop

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString StockArchivePath(int version, const QString &name);
    static void VerifyNoArchive(const OSTREVALE &w);
    static void VerifyArchiveOpen(const OSTREVALE &w, int version, const QString &path);

    TestFolder dir;
};

namespace {

// Five entries whose names, sizes and offsets sort differently from directory order.
const std::vector<Record> kRecords = {
    {40, 3, "b.dff"}, {10, 45, "a.txd"}, {20, 5, "C.dff"}, {50, 1, "modeltxd.col"}, {30, 2, "中文.dff"}};
const QStringList kNames = {"b.dff", "a.txd", "C.dff", "modeltxd.col", "中文.dff"};

} // namespace

void TestMainWindow::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestMainWindow::init()
{
    QVERIFY(dir.Renew());
}

QString TestMainWindow::StockArchivePath(int version, const QString &name)
{
    const QString p = path(name);
    return WriteArchive(p, version, kRecords) ? p : QString();
}

void TestMainWindow::VerifyNoArchive(const OSTREVALE &w)
{
    QCOMPARE(w.windowTitle(), QStringLiteral("OSTREVALE"));
    QVERIFY(IconIs(w.windowIcon(), kDefaultIcon));
    QVERIFY(!w.acceptDrops());
    for (const char *name : kArchiveActions)
        QVERIFY2(!Action(w, name)->isEnabled(), name);
    for (const char *name : kAlwaysActions)
        QVERIFY2(Action(w, name)->isEnabled(), name);
    QVERIFY(!Table(w)->isEnabled());
    QCOMPARE(Table(w)->model()->rowCount(), 0);
    QVERIFY(!Search(w)->isEnabled());
    QVERIFY(Search(w)->text().isEmpty());
    QVERIFY(Progress(w)->isHidden());
    QCOMPARE(Archive(w)->version, 0);
}

void TestMainWindow::VerifyArchiveOpen(const OSTREVALE &w, int version, const QString &path)
{
    QCOMPARE(w.windowTitle(), QStringLiteral("OSTREVALE (%1)").arg(path));
    QVERIFY(IconIs(w.windowIcon(), version == 1 ? kVersion1Icon : kVersion2Icon));
    QVERIFY(w.acceptDrops());
    for (const char *name : kArchiveActions)
        QVERIFY2(Action(w, name)->isEnabled(), name);
    for (const char *name : kAlwaysActions)
        QVERIFY2(Action(w, name)->isEnabled(), name);
    QVERIFY(Table(w)->isEnabled());
    QVERIFY(Search(w)->isEnabled());
    QVERIFY(Search(w)->text().isEmpty());
    QCOMPARE(Archive(w)->version, version);
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("action_open") << "打开IMG...(&O)"
                                 << "打开IMG文件"
                                 << "打开一个IMG文件"
                                 << "Ctrl+O" << true;
    QTest::newRow("action_close") << "关闭IMG(&C)"
                                  << "关闭当前打开的IMG"
                                  << "关闭当前打开的文件"
                                  << "" << false;
    QTest::newRow("action_exit") << "退出程序(&Q)"
                                 << "退出程序"
                                 << "退出程序"
                                 << "Ctrl+Q" << true;
    QTest::newRow("action_import") << "导入文件...(&I)"
                                   << "导入文件"
                                   << "导入一个或多个文件"
                                   << "Ctrl+I" << false;
    QTest::newRow("action_rebuild") << "重建IMG(&R)"
                                    << "重建IMG"
                                    << "重建IMG以去除无用空间(需要一段时间)"
                                    << "Ctrl+R" << false;
    QTest::newRow("action_import_folder") << "导入文件夹...(&F)"
                                          << "导入文件夹"
                                          << "导入文件夹内的所有文件"
                                          << "Ctrl+F" << false;
    QTest::newRow("action_showqtinfo") << "关于Qt...(&Q)"
                                       << "关于Qt"
                                       << "显示本工具的信息"
                                       << "" << true;
    QTest::newRow("action_export") << "导出所选文件...(&E)"
                                   << "导出所选文件"
                                   << ""
                                   << "Ctrl+E" << false;
    QTest::newRow("action_new_ver1") << "版本1...(&1)"
                                     << "新建版本1档案"
                                     << ""
                                     << "" << true;
    QTest::newRow("action_new_ver2") << "版本2...(&2)"
                                     << "新建版本2档案"
                                     << ""
                                     << "" << true;
    QTest::newRow("action_delete") << "删除选中的文件(&D)"
                                   << "删除选中的文件"
                                   << ""
                                   << "Ctrl+D" << false;
}

void TestMainWindow::actions()
{
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QString, statusTip);
    QFETCH(QString, shortcut);
    QFETCH(bool, enabled);

    OSTREVALE w;
    const QByteArray name = QTest::currentDataTag();
    QAction *a = Action(w, name.constData());
    QVERIFY(a);
    QCOMPARE(a->parent(), &w);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->toolTip(), toolTip);
    QCOMPARE(a->statusTip(), statusTip);
    QCOMPARE(a->shortcut(), QKeySequence(shortcut));
    QCOMPARE(a->isEnabled(), enabled);
    QVERIFY(!a->isCheckable());
    if (name == "action_new_ver1")
        QVERIFY(IconIs(a->icon(), kVersion1Icon));
    else if (name == "action_new_ver2")
        QVERIFY(IconIs(a->icon(), kVersion2Icon));
    else
        QVERIFY(a->icon().isNull());

    // The status bar shows the status tip of the action under the mouse.
    a->showStatusText(&w);
    QCOMPARE(w.statusBar()->currentMessage(), statusTip);
}

void TestMainWindow::menus()
{
    OSTREVALE w;
    auto entries = [](const QWidget *menu) {
        QStringList out;
        for (const QAction *a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("|")
                    : a->menu()      ? a->menu()->objectName()
                                     : a->objectName());
        return out;
    };
    QCOMPARE(entries(w.menuBar()), (QStringList{"menu_file", "menu_operations", "menu_misc"}));
    QStringList titles;
    for (const QAction *a : w.menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"文件(&F)", "操作(&A)", "杂项(&M)"}));

    auto menu = [&w](const char *name) { return w.findChild<QMenu *>(QLatin1String(name)); };
    QCOMPARE(entries(menu("menu_file")),
             (QStringList{"menuNew", "action_open", "action_close", "action_exit"}));
    QCOMPARE(menu("menuNew")->title(), QStringLiteral("新建(&N)"));
    QCOMPARE(entries(menu("menuNew")), (QStringList{"action_new_ver1", "action_new_ver2"}));
    QCOMPARE(entries(menu("menu_operations")),
             (QStringList{"action_import", "action_import_folder", "action_export", "action_delete",
                          "action_rebuild"}));
    QCOMPARE(entries(menu("menu_misc")), QStringList{"action_showqtinfo"});
    QVERIFY(w.findChildren<QToolBar *>().isEmpty());
}

void TestMainWindow::tableAndSearchRow()
{
    OSTREVALE w;
    QTableView *t = Table(w);
    QCOMPARE(t->font().family(), QStringLiteral("Consolas"));
    QCOMPARE(t->font().pointSize(), 10);
    QCOMPARE(t->focusPolicy(), Qt::NoFocus);
    QCOMPARE(t->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(t->actions(), (QList<QAction *>{Action(w, "action_export"), Action(w, "action_delete")}));
    QCOMPARE(t->styleSheet(), QStringLiteral("selection-color: rgb(255, 255, 255);\n"
                                             "selection-background-color: rgb(0, 170, 255);"));
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(t->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(t->textElideMode(), Qt::ElideMiddle);
    QVERIFY(t->showGrid());
    QCOMPARE(t->gridStyle(), Qt::SolidLine);
    QVERIFY(!t->wordWrap());
    QVERIFY(t->isSortingEnabled());
    QVERIFY(!t->acceptDrops());

    const QHeaderView *h = t->horizontalHeader();
    QCOMPARE(h->defaultSectionSize(), 180);
    QCOMPARE(h->minimumSectionSize(), 60);
    QVERIFY(!h->highlightSections());
    QVERIFY(h->stretchLastSection());
    QVERIFY(!h->isSortIndicatorShown());
    const QHeaderView *v = t->verticalHeader();
    QVERIFY(v->isHidden());
    QCOMPARE(v->defaultSectionSize(), 20);
    QCOMPARE(v->minimumSectionSize(), 20);
    QStringList headers;
    for (int s = 0; s < t->model()->columnCount(); ++s)
        headers << t->model()->headerData(s, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"文件名", "大小(KB)", "序号", "偏移量"}));

    // The search row sits below the table: the label, then the search box.
    auto *label = w.findChild<QLabel *>(QStringLiteral("label"));
    QCOMPARE(label->text(), QStringLiteral("搜索关键字"));
    QVERIFY(Search(w)->placeholderText().isEmpty());
    QVERIFY(!Search(w)->acceptDrops());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(Search(w)->geometry().top() > t->geometry().bottom());
    QVERIFY(label->geometry().right() < Search(w)->geometry().left());
    QCOMPARE(Search(w)->geometry().right(), t->geometry().right());
}

void TestMainWindow::initialState()
{
    OSTREVALE w;
    QCOMPARE(w.objectName(), QStringLiteral("OSTREVALEClass"));
    QCOMPARE(w.size(), QSize(747, 566));
    VerifyNoArchive(w);
    // No sort column: rows come in directory order until a header is clicked.
    QCOMPARE(Proxy(w)->sortColumn(), -1);
    QCOMPARE(Proxy(w)->filterKeyColumn(), 0);
    QCOMPARE(Progress(w)->windowTitle(), QString());
    QCOMPARE(Progress(w)->labelText(), QString());
    QCOMPARE(Progress(w)->windowFlags(), Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    QVERIFY(Progress(w)->findChildren<QPushButton *>().isEmpty()); // no cancel button
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(Progress(w)->isHidden());
}

void TestMainWindow::openShowsArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("relative");

    QTest::newRow("version 1, absolute path") << 1 << false;
    QTest::newRow("version 2, absolute path") << 2 << false;
    QTest::newRow("version 1, relative path with ..") << 1 << true;
    QTest::newRow("version 2, relative path with ..") << 2 << true;
}

void TestMainWindow::openShowsArchive()
{
    QFETCH(int, version);
    QFETCH(bool, relative);

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString absolute = StockArchivePath(version, QStringLiteral("a.img"));
    QVERIFY(!absolute.isEmpty());
    const QString before = QDir::currentPath();
    QDir::setCurrent(path(QStringLiteral("sub")));
    const QString given = relative ? QStringLiteral("../sub/../a.img") : absolute;

    OSTREVALE w;
    w.OpenIMGFile(given);
    QDir::setCurrent(before);

    VerifyArchiveOpen(w, version, given); // the title keeps the path exactly as given
    QCOMPARE(Shown(w), kNames);
    QCOMPARE(Shown(w, 2), (QStringList{"0", "1", "2", "3", "4"}));
}

void TestMainWindow::failedOpenShowsOneBoxAndNoArchive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("firstPiece");
    QTest::addColumn<QString>("lastPiece");
    QTest::addColumn<bool>("reportsDir");

    QTest::newRow("folder missing") << "missing/x.img"
                                    << "打开 "
                                    << " 失败" << false;
    QTest::newRow("directory of invalid size") << "bad.img"
                                               << "IMG目录 "
                                               << " 大小不合法" << true;
}

void TestMainWindow::failedOpenShowsOneBoxAndNoArchive()
{
    QFETCH(QString, name);
    QFETCH(QString, firstPiece);
    QFETCH(QString, lastPiece);
    QFETCH(bool, reportsDir);

    QVERIFY(WriteFile(path(QStringLiteral("bad.img")), QByteArray(2048, '\0')));
    QVERIFY(WriteFile(path(QStringLiteral("bad.dir")), QByteArray(100, '\0')));
    const QString good = StockArchivePath(2, QStringLiteral("good.img"));
    QVERIFY(!good.isEmpty());

    OSTREVALE w;
    w.show();
    w.OpenIMGFile(good);
    QCOMPARE(Table(w)->model()->rowCount(), 5);

    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Box(&box)});
    const QString target = path(name);
    w.OpenIMGFile(target);

    QCOMPARE(answerer.answered, 1);
    QTRY_COMPARE_WITH_TIMEOUT(answerer.unexpected, 0, 100);
    QVERIFY(!answerer.timedOut);
    QCOMPARE(box.title, QStringLiteral("错误"));
    QCOMPARE(box.text, firstPiece + (reportsDir ? DirPathFor(target) : target) + lastPiece);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.hasParent);
    VerifyNoArchive(w); // the archive open before is closed, not restored
}

void TestMainWindow::openThroughDialog()
{
    const QString archive = StockArchivePath(1, QStringLiteral("a.img"));
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();

    ModalAnswerer::DialogRecord dialog;
    {
        ModalAnswerer answerer({ModalAnswerer::Record(&dialog, ModalAnswerer::Choose(archive))});
        Action(w, "action_open")->trigger();
        QCOMPARE(answerer.answered, 1);
        QVERIFY(!answerer.timedOut);
    }
    QCOMPARE(dialog.caption, QStringLiteral("选择一个IMG文件"));
    QCOMPARE(dialog.directory, QStringLiteral("/"));
    QCOMPARE(dialog.nameFilters, QStringList{"IMG文件 (*.img)"});
    QCOMPARE(dialog.fileMode, QFileDialog::ExistingFile);
    QCOMPARE(dialog.acceptMode, QFileDialog::AcceptOpen);
    QVERIFY(dialog.parentIsWindow);
    VerifyArchiveOpen(w, 1, archive);
    QCOMPARE(Shown(w), kNames);

    // A cancelled dialog changes nothing.
    ModalAnswerer answerer({ModalAnswerer::Cancel()});
    Action(w, "action_open")->trigger();
    QCOMPARE(answerer.answered, 1);
    VerifyArchiveOpen(w, 1, archive);
    QCOMPARE(Shown(w), kNames);
}

void TestMainWindow::newArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("withArchiveOpen");

    QTest::newRow("version 1") << 1 << false;
    QTest::newRow("version 2") << 2 << false;
    QTest::newRow("version 1 over an open archive") << 1 << true;
    QTest::newRow("version 2 over an open archive") << 2 << true;
}

void TestMainWindow::newArchive()
{
    QFETCH(int, version);
    QFETCH(bool, withArchiveOpen);

    OSTREVALE w;
    w.show();
    const QString previous = StockArchivePath(version == 1 ? 2 : 1, QStringLiteral("previous.img"));
    QVERIFY(!previous.isEmpty());
    if (withArchiveOpen)
        w.OpenIMGFile(previous);

    const QString created = path(QStringLiteral("new.img"));
    ModalAnswerer::DialogRecord dialog;
    ModalAnswerer answerer({ModalAnswerer::Record(&dialog, ModalAnswerer::Choose(created))});
    Action(w, version == 1 ? "action_new_ver1" : "action_new_ver2")->trigger();
    QCOMPARE(answerer.answered, 1);
    QVERIFY(!answerer.timedOut);

    QCOMPARE(dialog.caption, QStringLiteral("选择保存位置"));
    QCOMPARE(dialog.directory, QStringLiteral("/"));
    QCOMPARE(dialog.nameFilters, QStringList{"IMG文件 (*.img)"});
    QCOMPARE(dialog.acceptMode, QFileDialog::AcceptSave);
    QVERIFY(!dialog.options.testFlag(QFileDialog::DontConfirmOverwrite));

    VerifyArchiveOpen(w, version, created);
    QCOMPARE(Table(w)->model()->rowCount(), 0);
    if (version == 1) {
        QCOMPARE(QFileInfo(created).size(), 0);
        QCOMPARE(QFileInfo(path(QStringLiteral("new.dir"))).size(), 0);
    } else {
        const QByteArray img = ReadFile(created);
        QCOMPARE(qint64(img.size()), SECTOR_SIZE);
        QCOMPARE(img.left(8), QByteArray("VER2\0\0\0\0", 8));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("new.dir"))));
    }
    // The previous archive is closed, untouched.
    QCOMPARE(ReadRecords(previous, version == 1 ? 2 : 1).size(), kRecords.size());
}

void TestMainWindow::newCancelledOrFailedKeepsArchive()
{
    const QString archive = StockArchivePath(2, QStringLiteral("a.img"));
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();
    w.OpenIMGFile(archive);

    {
        ModalAnswerer answerer({ModalAnswerer::Cancel()});
        Action(w, "action_new_ver1")->trigger();
        QCOMPARE(answerer.answered, 1);
    }
    VerifyArchiveOpen(w, 2, archive);
    QCOMPARE(Shown(w), kNames);

    // A name whose folder is a plain file cannot be created.
    QVERIFY(WriteFile(path(QStringLiteral("plain")), "x"));
    const QString impossible = path(QStringLiteral("plain/new.img"));
    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Choose(impossible), ModalAnswerer::Box(&box)});
    Action(w, "action_new_ver2")->trigger();
    QCOMPARE(answerer.answered, 2);
    QVERIFY(!answerer.timedOut);
    QCOMPARE(box.title, QStringLiteral("错误"));
    QCOMPARE(box.text, QStringLiteral("创建 %1 失败").arg(impossible));
    VerifyArchiveOpen(w, 2, archive);
    QCOMPARE(Shown(w), kNames);
}

void TestMainWindow::closeReturnsToInitialState()
{
    const QString archive = StockArchivePath(1, QStringLiteral("a.img"));
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();
    w.OpenIMGFile(archive);
    Search(w)->setText(QStringLiteral("dff"));
    Action(w, "action_close")->trigger();
    VerifyNoArchive(w);
    QVERIFY(ReadFile(archive).size() > 0); // closing writes nothing
    QCOMPARE(ReadRecords(archive, 1).size(), kRecords.size());
}

void TestMainWindow::numbersShowDigitGrouping_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");

    QTest::newRow("offset past 4 GiB") << QVariant(qint64(8796093020160LL)) << "8,796,093,020,160"
                                       << "8.796.093.020.160";
    QTest::newRow("largest size") << QVariant(qint64(131070)) << "131,070"
                                  << "131.070";
    QTest::newRow("number") << QVariant(1234) << "1,234"
                            << "1.234";
    QTest::newRow("small") << QVariant(qint64(10)) << "10"
                           << "10";
    QTest::newRow("name unchanged") << QVariant(QStringLiteral("a1234.dff")) << "a1234.dff"
                                    << "a1234.dff";
}

void TestMainWindow::numbersShowDigitGrouping()
{
    QFETCH(QVariant, value);
    QFETCH(QString, english);
    QFETCH(QString, german);

    OSTREVALE w;
    auto *delegate = qobject_cast<QStyledItemDelegate *>(Table(w)->itemDelegate());
    QVERIFY(delegate);
    // The view hands its delegate the locale with group separators switched off.
    QLocale en(QLocale::English, QLocale::UnitedStates);
    QLocale de(QLocale::German, QLocale::Germany);
    en.setNumberOptions(QLocale::OmitGroupSeparator);
    de.setNumberOptions(QLocale::OmitGroupSeparator);
    QCOMPARE(delegate->displayText(value, en), english);
    QCOMPARE(delegate->displayText(value, de), german);
}

void TestMainWindow::searchFiltersAndClearsSelection()
{
    const QString archive = StockArchivePath(2, QStringLiteral("a.img"));
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.OpenIMGFile(archive);

    SelectByName(w, {"b.dff", "C.dff"});
    QCOMPARE(Table(w)->selectionModel()->selectedRows().size(), 2);
    QTest::keyClicks(Search(w), QStringLiteral(".dff"));
    QCOMPARE(Table(w)->selectionModel()->selectedRows().size(), 0);
    QCOMPARE(Shown(w), (QStringList{"b.dff", "C.dff", "中文.dff"}));

    Search(w)->setText(QStringLiteral("txd"));
    QCOMPARE(Shown(w), (QStringList{"a.txd", "modeltxd.col"}));
    Search(w)->setText(QStringLiteral("TXD")); // case matters
    QCOMPARE(Shown(w), QStringList());
    Search(w)->setText(QStringLiteral("[")); // an invalid pattern shows nothing, silently
    QCOMPARE(Shown(w), QStringList());
    Search(w)->clear();
    QCOMPARE(Shown(w), kNames);
}

void TestMainWindow::reopenResetsSearchAndSort()
{
    const QString archive = StockArchivePath(1, QStringLiteral("a.img"));
    QVERIFY(!archive.isEmpty());
    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.OpenIMGFile(archive);

    // Sort by size with a click on its header, as a user does; no arrow appears.
    QHeaderView *header = Table(w)->horizontalHeader();
    const QPoint sizeHeader(header->sectionViewportPosition(1) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, sizeHeader);
    QCOMPARE(Shown(w), (QStringList{"modeltxd.col", "中文.dff", "b.dff", "C.dff", "a.txd"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, sizeHeader);
    QCOMPARE(Shown(w), (QStringList{"a.txd", "C.dff", "b.dff", "中文.dff", "modeltxd.col"}));
    QVERIFY(!header->isSortIndicatorShown());
    QTest::keyClicks(Search(w), QStringLiteral("dff"));
    QCOMPARE(Shown(w), (QStringList{"C.dff", "b.dff", "中文.dff"}));
    QCOMPARE(Shown(w, 2), (QStringList{"2", "0", "4"}));

    w.OpenIMGFile(archive);
    QVERIFY(Search(w)->text().isEmpty());
    QCOMPARE(Shown(w), kNames);
    QVERIFY(!header->isSortIndicatorShown());
    VerifyArchiveOpen(w, 1, archive);

    // The next click on a header sorts again, ascending.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    QCOMPARE(Shown(w), (QStringList{"C.dff", "a.txd", "b.dff", "modeltxd.col", "中文.dff"}));
}

void TestMainWindow::aboutQt()
{
    OSTREVALE w;
    w.show();
    BoxRecord box;
    ModalAnswerer answerer({ModalAnswerer::Box(&box)});
    Action(w, "action_showqtinfo")->trigger();
    QCOMPARE(answerer.answered, 1);
    QCOMPARE(box.title, QStringLiteral("关于Qt"));
    QVERIFY(box.hasParent);
    QVERIFY(box.text.contains(QStringLiteral("Qt")));
}

void TestMainWindow::programOpensOnlyFirstArgument()
{
    // Paths that do not exist yet in an existing folder: opening creates them,
    // which shows from outside whether the program opened them.
    const QString first = path(QStringLiteral("first.img"));
    const QString second = path(QStringLiteral("second.img"));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(OSTREVALE_PROGRAM), {first, second});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(QStringLiteral("first.dir"))), 30000);
    program.kill();
    program.waitForFinished();
    QCOMPARE(QFileInfo(first).size(), 0);
    QVERIFY(!QFileInfo::exists(second));
}

void TestMainWindow::programAnswersAndExitsWithoutWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Without a window system any QApplication would abort: these must not need one.
    QTest::addColumn<bool>("withoutDisplay");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // a pattern (^ and $ at lines) for stdout, or stderr on failure

    const QString usage = QStringLiteral("^Usage: \\S*ostrevale \\[options\\] \\[ARCHIVE\\.img\\]\n.*--version");
    const QString version = QStringLiteral("^ostrevale \\d+\\.\\d+\\.\\d+\n$");
    QTest::newRow("--help") << QStringList{"--help"} << true << 0 << usage;
    QTest::newRow("-h") << QStringList{"-h"} << true << 0 << usage;
    QTest::newRow("--version") << QStringList{"--version"} << true << 0 << version;
    QTest::newRow("-v") << QStringList{"-v"} << true << 0 << version;
    QTest::newRow("--help-all lists Qt's options")
        << QStringList{"--help-all"} << false << 0 << QStringLiteral("^  --platform <");
    QTest::newRow("--help after an archive and a Qt option")
        << QStringList{"a.img", "-reverse", "--help"} << true << 0 << usage;
    // -reverse is Qt's word, not -r -e -v bundled together.
    QTest::newRow("-reverse is not -v") << QStringList{"-reverse", "-odd.img"} << false << 1
                                        << QStringLiteral("^ostrevale: Unknown option 'odd.img'");
    QTest::newRow("unknown option") << QStringList{"-odd.img"} << false << 1
                                    << QStringLiteral("^ostrevale: Unknown option 'odd.img'");
    QTest::newRow("unknown long option") << QStringList{"--odd.img"} << false << 1
                                         << QStringLiteral("^ostrevale: Unknown option 'odd.img'");
    QTest::newRow("lone dash") << QStringList{"-"} << false << 1 << QStringLiteral("ostrevale -- -\n$");
    QTest::newRow("lone dash before --") << QStringList{"-", "--", "a.img"} << false << 1
                                         << QStringLiteral("ostrevale -- -\n$");
}

void TestMainWindow::programAnswersAndExitsWithoutWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, withoutDisplay);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (withoutDisplay) {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    program.setProcessEnvironment(env);
    // Relative names: whatever the program would open lands in the empty test folder.
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(OSTREVALE_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QRegularExpression pattern(
        output, QRegularExpression::DotMatchesEverythingOption | QRegularExpression::MultilineOption);
    if (exitCode == 0) {
        QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
    } else {
        QVERIFY2(pattern.match(err).hasMatch(), qPrintable(err));
        QCOMPARE(out, QString());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestMainWindow::programOpensDashNamesAfterEndOfOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("created"); // what opening the name creates

    QTest::newRow("-- -odd.img") << QStringList{"--", "-odd.img"} << QStringLiteral("-odd.dir");
    QTest::newRow("-- --help.img") << QStringList{"--", "--help.img"} << QStringLiteral("--help.dir");
    QTest::newRow("-- --version.img after a Qt option")
        << QStringList{"-reverse", "--", "--version.img"} << QStringLiteral("--version.dir");
}

void TestMainWindow::programOpensDashNamesAfterEndOfOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, created);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(OSTREVALE_PROGRAM), arguments);
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(created)), 30000);
    QCOMPARE(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished();
    QCOMPARE(QFileInfo(path(arguments.last())).size(), 0);
}

void TestMainWindow::exitEndsTheEventLoop()
{
    OSTREVALE w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTimer::singleShot(0, &w, [&w] { QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier); });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    failsafe.start(20000);
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
