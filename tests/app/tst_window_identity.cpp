// The window against other writers and slips: it holds the archive it shows
// against the CLI, is refused (with a box) an archive another process holds,
// makes a New archive over the one it shows, and refuses a .dir given as an
// archive, as the CLI does.

#include "ArchiveHolder.h"
#include "ArchiveWhole.h"
#include "ContentFixtures.h"
#include "ModalAnswerer.h"
#include "TestFolder.h"
#include "WindowProbe.h"
#include "cli/CliRunner.h"

#include <QtTest>

using namespace Fixtures;
using namespace Probe;

namespace {

const std::vector<Record> kRecords = {{1, 3, "a.dff"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};

} // namespace

class TestWindowIdentity : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void windowHoldsTheArchiveAgainstTheCli_data();
    void windowHoldsTheArchiveAgainstTheCli();
    void windowIsRefusedWhileAnotherHolds_data();
    void windowIsRefusedWhileAnotherHolds();
    void newOverTheShownArchive_data();
    void newOverTheShownArchive();
    void dirGivenAsTheArchiveIsRefused();

private:
    QString path(const QString &name) const { return dir.filePath(name); }

    TestFolder dir;
};

void TestWindowIdentity::init()
{
    QVERIFY(dir.Renew());
}

void TestWindowIdentity::windowHoldsTheArchiveAgainstTheCli_data()
{
    AddVersionRows();
}

void TestWindowIdentity::windowHoldsTheArchiveAgainstTheCli()
{
    QFETCH(int, version);
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    QVERIFY(WriteFile(path("new.dff"), Pattern(7, 3000)));
    Contents expected = Fixtures::Snapshot(path("a.img"), version);
    OSTREVALE w;
    w.show();
    w.OpenIMGFile(path("a.img"));
    QCOMPARE(Archive(w)->version, version);

    const CliResult refused = RunCli(dir.path(), {"add", "a.img", "new.dff"});
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.err, QString("ostrevale-cli: IMG文件 a.img 正被另一个程序使用\n"));
    const CliResult listed = RunCli(dir.path(), {"list", "a.img"});
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.out.count('\n'), 3);

    Action(w, "action_close")->trigger();
    const CliResult added = RunCli(dir.path(), {"add", "a.img", "new.dff"});
    QCOMPARE(added.exitCode, 0);
    expected.push_back(Imported("new.dff", Pattern(7, 3000)));
    QCOMPARE(ArchiveIsWhole(path("a.img"), version, expected), QString());
}

void TestWindowIdentity::windowIsRefusedWhileAnotherHolds_data()
{
    AddVersionRows();
}

void TestWindowIdentity::windowIsRefusedWhileAnotherHolds()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    ArchiveHolder holder;
    QVERIFY(holder.Start(p));

    OSTREVALE w;
    w.show();
    BoxRecord box;
    {
        ModalAnswerer answerer({ModalAnswerer::Box(&box)});
        w.OpenIMGFile(p);
        QCOMPARE(answerer.answered, 1);
        QVERIFY(!answerer.timedOut);
    }
    QCOMPARE(box.text, "IMG文件 " + p + " 正被另一个程序使用");
    QCOMPARE(Archive(w)->version, 0);
    QVERIFY(!Action(w, "action_import")->isEnabled());

    holder.Kill();
    w.OpenIMGFile(p);
    QCOMPARE(Archive(w)->version, version);
    QCOMPARE(Table(w)->model()->rowCount(), 3);
    Action(w, "action_close")->trigger();
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
}

void TestWindowIdentity::newOverTheShownArchive_data()
{
    AddVersionRows();
}

void TestWindowIdentity::newOverTheShownArchive()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    OSTREVALE w;
    w.show();
    w.OpenIMGFile(p);
    QCOMPARE(Table(w)->model()->rowCount(), 3);

    // The window holds the archive's lock itself: New at its path is no other
    // writer. (The steps of the New command, without its file dialog.)
    ModalAnswerer answerer({}, 2000);
    QVERIFY(Archive(w)->CreateArchive(p, version));
    w.OpenIMGFile(p);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(Archive(w)->version, version);
    QCOMPARE(Table(w)->model()->rowCount(), 0);
    Action(w, "action_close")->trigger();
    QCOMPARE(ArchiveIsWhole(p, version, Contents()), QString());
}

void TestWindowIdentity::dirGivenAsTheArchiveIsRefused()
{
    QVERIFY(WriteVer1(path("pair.img"), kRecords));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());
    OSTREVALE w;
    w.show();
    BoxRecord box;
    {
        ModalAnswerer answerer({ModalAnswerer::Box(&box)});
        w.OpenIMGFile(path("pair.dir"));
        QCOMPARE(answerer.answered, 1);
    }
    QCOMPARE(box.text, "IMG文件 " + path("pair.dir") + " 是目录文件，请打开 " + path("pair.img"));
    QCOMPARE(Archive(w)->version, 0);
    QVERIFY(FilesIn(dir.path()) == files);
}

int main(int argc, char *argv[])
{
    int holderExit = 0;
    if (HoldArchiveIfAsked(&holderExit))
        return holderExit;
    QApplication app(argc, argv);
    TestWindowIdentity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_identity.moc"
