#include "ArchiveFixtures.h"
#include "CliRunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Fixtures;
using Records = std::vector<Record>;
Q_DECLARE_METATYPE(Records)

namespace {

// Entry 1 lies behind a gap of two sectors, so a rebuild moves it; entry 2 has
// size 0 and shares its offset with entry 3, as in stock archives.
const Records kRecords = {
    {1, 2, "gang01.DFF"}, {5, 1, "Generic.txd", 0xBEEF}, {6, 0, "empty.col"}, {6, 1, "树木.dff"}};

const QByteArray kNewBin = Pattern(51, 5000);
const QByteArray kGenericTxd = Pattern(50, 100);
const char *const kLongName = "abcdefghijklmnopqrstuvwx.bin"; // 28 bytes

QString Lines(const QStringList &lines)
{
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The table as `list` prints it for kRecords, in the given order of entries.
QString Listing(const QList<int> &order)
{
    QStringList lines;
    for (int i : order) {
        const Record &r = kRecords[size_t(i)];
        lines << QStringLiteral("%1\t%2\t%3\t%4")
                     .arg(QString::fromUtf8(r.name))
                     .arg(r.size * 2)
                     .arg(i)
                     .arg(qint64(r.offset) * 2048);
    }
    return Lines(lines);
}

QString Info(int version, bool types)
{
    const qint64 directory = version == 1 ? 4 * 32 : 8 + 4 * 32;
    // Unused: version 1 sector 0; version 2 the header sector behind the records; both the gap.
    const qint64 unused = (version == 1 ? 2048 : 2048 - directory) + 2 * 2048;
    QString text = QStringLiteral("version: %1\nentries: 4\ndata file bytes: 14336\ndirectory bytes: %2\n"
                                  "bytes referenced by entries: 8192\nbytes not referenced: %3\n")
                       .arg(version)
                       .arg(directory)
                       .arg(unused);
    if (version == 2)
        text += QStringLiteral("free directory slots: 59\n");
    // The fixture's entries hold patterns, and empty.col nothing.
    return types ? text + QStringLiteral("type data: 3\ntype empty: 1\n") : text;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void create_data();
    void create();
    void extract_data();
    void extract();
    void helpForEveryCommand_data();
    void helpForEveryCommand();
    void entriesSharingAName_data();
    void entriesSharingAName();
    void checkFindsProblems_data();
    void checkFindsProblems();
    void listJson_data();
    void listJson();
    void listShowsNamesAsStored();
    void roundTrip_data();
    void roundTrip();
    void progressOnlyOnATerminal_data();
    void progressOnlyOnATerminal();

private:
    void Prepare(int version);
    // The records on disk as "name offset size", and every entry's bytes as they should be.
    void VerifyArchive(int version, const QStringList &records);
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

void TestCli::Prepare(int version)
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).removeRecursively());
    QVERIFY(QDir().mkpath(dir.path()));
    if (version > 0)
        QVERIFY(version == 1 ? WriteVer1(path("a.img"), kRecords) : WriteVer2(path("a.img"), kRecords));
    for (const char *folder : {"in/sub", "long", "emptydir", "out"})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    QVERIFY(WriteFile(path("in/GENERIC.TXD"), kGenericTxd));
    QVERIFY(WriteFile(path("in/new.bin"), kNewBin));
    QVERIFY(WriteFile(path("in/.hidden"), "hidden"));
    QVERIFY(WriteFile(path("in/sub/deep.bin"), "deep"));
    QVERIFY(WriteFile(path("long/") + kLongName, "long"));
}

void TestCli::VerifyArchive(int version, const QStringList &records)
{
    QStringList actual;
    for (const Record &r : ReadRecords(path("a.img"), version))
        actual << QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(r.name)).arg(r.offset).arg(r.size);
    QCOMPARE(actual, records);

    QMap<QByteArray, QByteArray> content;
    for (size_t i = 0; i < kRecords.size(); ++i)
        content.insert(kRecords[i].name, Pattern(int(i), kRecords[i].size * SECTOR_SIZE));
    content.insert("road.txd", content.value("Generic.txd"));
    content.insert("GENERIC.TXD", kGenericTxd);
    content.insert("new.bin", kNewBin);
    Contents expected;
    for (const QString &line : records) {
        const QByteArray name = line.section(' ', 0, 0).toUtf8();
        QVERIFY2(content.contains(name), name.constData());
        expected.push_back({name, quint16(line.section(' ', 2).toUInt()), content.value(name)});
    }
    const QString problem = VerifyContents(path("a.img"), version, expected);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestCli::commands_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    // The records afterwards as "name offset size"; empty: every file in the folder unchanged.
    QTest::addColumn<QStringList>("records");

    const QStringList same;
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + " ";
        const QStringList sorted = {"gang01.DFF 1 2", "Generic.txd 5 1", "empty.col 6 0", "树木.dff 6 1"};
        // A folder's files come in name order ignoring case: GENERIC.TXD before new.bin.
        const QStringList imported = {"gang01.DFF 1 2", "GENERIC.TXD 7 1", "empty.col 6 0", "树木.dff 6 1",
                                      "new.bin 8 3"};

        QTest::newRow(tag + "info") << v << QStringList{"info", "a.img"} << 0 << Info(v, false) << "" << same;
        QTest::newRow(tag + "info --types")
            << v << QStringList{"info", "a.img", "--types"} << 0 << Info(v, true) << "" << same;
        QTest::newRow(tag + "list") << v << QStringList{"list", "a.img"} << 0 << Listing({0, 1, 2, 3}) << ""
                                    << same;
        QTest::newRow(tag + "list --sort name (case-sensitive)")
            << v << QStringList{"list", "a.img", "--sort", "name"} << 0 << Listing({1, 2, 0, 3}) << ""
            << same;
        QTest::newRow(tag + "list --sort size, ties in directory order")
            << v << QStringList{"list", "--sort=size", "a.img"} << 0 << Listing({2, 1, 3, 0}) << "" << same;
        QTest::newRow(tag + "list --sort offset") << v << QStringList{"list", "a.img", "--sort", "offset"}
                                                  << 0 << Listing({0, 1, 2, 3}) << "" << same;
        QTest::newRow(tag + "list --regex, case-sensitive")
            << v << QStringList{"list", "a.img", "--regex", "dff$|^G"} << 0 << Listing({1, 3}) << "" << same;
        QTest::newRow(tag + "check, clean")
            << v << QStringList{"check", "a.img"} << 0 << "4 entries checked, 0 problems found\n"
            << "" << same;

        QTest::newRow(tag + "add files")
            << v << QStringList{"add", "a.img", "in/new.bin", "in/GENERIC.TXD"} << 0 << ""
            << ""
            << QStringList{"gang01.DFF 1 2", "GENERIC.TXD 10 1", "empty.col 6 0", "树木.dff 6 1",
                           "new.bin 7 3"};
        QTest::newRow(tag + "add a folder: its plain files in name order")
            << v << QStringList{"add", "a.img", "in"} << 0 << ""
            << "" << imported;
        QTest::newRow(tag + "add a name of 24 bytes")
            << v << QStringList{"add", "a.img", QString("long/") + kLongName} << 1 << ""
            << QStringLiteral("ostrevale-cli: 文件名 %1 太长\n").arg(kLongName) << same;
        QTest::newRow(tag + "add a missing file: nothing imported")
            << v << QStringList{"add", "a.img", "in/new.bin", "in/nope"} << 1 << ""
            << "ostrevale-cli: in/nope: no such file or folder\n"
            << same;
        QTest::newRow(tag + "add an empty folder") << v << QStringList{"add", "a.img", "emptydir"} << 1 << ""
                                                   << "ostrevale-cli: 没有文件可以导入\n"
                                                   << same;

        QTest::newRow(tag + "delete, ASCII case ignored")
            << v << QStringList{"delete", "a.img", "GANG01.dff", "树木.DFF"} << 0 << ""
            << "" << QStringList{"Generic.txd 5 1", "empty.col 6 0"};
        QTest::newRow(tag + "delete with an unknown name: nothing deleted")
            << v << QStringList{"delete", "a.img", "gang01.dff", "nope.txd", "other"} << 1 << ""
            << "ostrevale-cli: no entry named 'nope.txd'\nostrevale-cli: no entry named 'other'\n"
            << same;

        QTest::newRow(tag + "rename")
            << v << QStringList{"rename", "a.img", "GENERIC.TXD", "road.txd"} << 0 << ""
            << "" << QStringList{"gang01.DFF 1 2", "road.txd 5 1", "empty.col 6 0", "树木.dff 6 1"};
        QTest::newRow(tag + "rename onto another entry's name")
            << v << QStringList{"rename", "a.img", "Generic.txd", "GANG01.dff"} << 1 << ""
            << "ostrevale-cli: 文件名 GANG01.dff 已存在\n"
            << same;
        QTest::newRow(tag + "rename to 24 bytes")
            << v << QStringList{"rename", "a.img", "empty.col", "树木树木树木树木"} << 1 << ""
            << "ostrevale-cli: 文件名 树木树木树木树木 太长\n"
            << same;
        QTest::newRow(tag + "rename an unknown entry")
            << v << QStringList{"rename", "a.img", "x", "y"} << 1 << ""
            << "ostrevale-cli: no entry named 'x'\n"
            << same;

        QTest::newRow(tag + "rebuild")
            << v << QStringList{"rebuild", "a.img"} << 0 << ""
            << ""
            << (v == 1 ? QStringList{"gang01.DFF 1 2", "Generic.txd 3 1", "empty.col 4 0", "树木.dff 4 1"}
                       : QStringList{"gang01.DFF 3 2", "Generic.txd 5 1", "empty.col 6 0", "树木.dff 6 1"});

        // Wrong usage: exit status 2, and not a byte changes.
        const auto usage = [&](const char *name, const QStringList &args, const QString &err) {
            QTest::newRow(tag + "wrong usage: " + name) << v << args << 2 << "" << err << same;
        };
        const QString tryCommand = QStringLiteral("Try 'ostrevale-cli %1 --help'.\n");
        usage("no command", {}, "*");
        usage("unknown command", {"frobnicate", "a.img"},
              "ostrevale-cli: unknown command 'frobnicate'\nTry 'ostrevale-cli --help'.\n");
        usage("unknown option", {"delete", "a.img", "gang01.DFF", "--frob"},
              "ostrevale-cli: Unknown option 'frob'.\n" + tryCommand.arg("delete"));
        usage("add without paths", {"add", "a.img"}, "*");
        usage("delete without names", {"delete", "a.img"}, "*");
        usage("rename without a new name", {"rename", "a.img", "gang01.DFF"}, "*");
        usage("info with an extra argument", {"info", "a.img", "more"}, "*");
        usage("option of another command", {"rebuild", "a.img", "--json"}, "*");
        usage("list --sort bad", {"list", "a.img", "--sort", "date"},
              "ostrevale-cli: --sort must be name, size, offset or number, not 'date'\n" +
                  tryCommand.arg("list"));
        usage("invalid --regex", {"list", "a.img", "--regex", "("}, "*");
        usage("extract without -o", {"extract", "a.img", "gang01.DFF"},
              "ostrevale-cli: extract needs -o FOLDER\n" + tryCommand.arg("extract"));
        usage("extract with names and --regex",
              {"extract", "a.img", "-o", "out", "--regex", "g", "gang01.DFF"}, "*");
        usage("create without --version", {"create", "new.img"}, "*");
        usage("create --version 3", {"create", "new.img", "--version", "3"}, "*");
        usage("add --quiet without paths", {"add", "--quiet", "a.img"}, "*");
    }

    // A missing archive is reported, never created.
    for (const char *command : {"info", "list", "check", "rebuild"})
        QTest::newRow(QByteArray("missing archive: ") + command)
            << 0 << QStringList{command, "missing.img"} << 1 << ""
            << "ostrevale-cli: missing.img: no such archive\n"
            << same;
    QTest::newRow("missing archive: add") << 0 << QStringList{"add", "missing.img", "in/new.bin"} << 1 << ""
                                          << "ostrevale-cli: missing.img: no such archive\n"
                                          << same;
    QTest::newRow("a file that is no archive") << 0 << QStringList{"list", "in/new.bin"} << 1 << ""
                                               << "ostrevale-cli: in/new.bin: not an IMG archive (no version "
                                                  "2 header, and no in/new.dir beside it)\n"
                                               << same;
}

void TestCli::commands()
{
    QFETCH(int, version);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, records);

    Prepare(version);
    const auto before = FolderSnapshot(dir.path());
    const CliResult result = RunCli(dir.path(), args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, out);
    if (err != QLatin1String("*"))
        QCOMPARE(result.err, err);
    else
        QVERIFY2(result.err.startsWith(QStringLiteral("ostrevale-cli: ")) ||
                     result.err.startsWith(QStringLiteral("Usage: ")),
                 qPrintable(result.err));

    if (records.isEmpty()) {
        QCOMPARE(FolderSnapshot(dir.path()), before);
        return;
    }
    VerifyArchive(version, records);
    const CliResult check = RunCli(dir.path(), {"check", "a.img"});
    QCOMPARE(check.exitCode, 0);
}

void TestCli::create_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("existing"); // files there before, each holding "old"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QStringList>("files"); // every file afterwards, as "name size"

    QTest::newRow("version 1") << QStringList{"create", "new.img", "--version", "1"} << QStringList() << 0
                               << "" << QStringList{"new.dir 0", "new.img 0"};
    // Opened once after creating, as the window does: the header sector is on disk.
    QTest::newRow("version 2") << QStringList{"create", "--version=2", "new.img"} << QStringList() << 0 << ""
                               << QStringList{"new.img 2048"};
    QTest::newRow("an existing archive is left alone")
        << QStringList{"create", "new.img", "--version", "2"} << QStringList{"new.img"} << 1
        << "ostrevale-cli: new.img already exists; --force replaces it\n"
        << QStringList{"new.img 3"};
    QTest::newRow("version 1 leaves an existing .dir alone")
        << QStringList{"create", "new.img", "--version", "1"} << QStringList{"new.dir"} << 1
        << "ostrevale-cli: new.dir already exists; --force replaces it\n"
        << QStringList{"new.dir 3"};
    QTest::newRow("version 2 does not touch a .dir")
        << QStringList{"create", "new.img", "--version", "2"} << QStringList{"new.dir"} << 0 << ""
        << QStringList{"new.dir 3", "new.img 2048"};
    QTest::newRow("--force replaces")
        << QStringList{"create", "new.img", "--version", "1", "--force"} << QStringList{"new.img", "new.dir"}
        << 0 << "" << QStringList{"new.dir 0", "new.img 0"};
    QTest::newRow("folder does not exist")
        << QStringList{"create", "nowhere/new.img", "--version", "2"} << QStringList() << 1
        << "ostrevale-cli: 创建 nowhere/new.img 失败\n"
        << QStringList();
}

void TestCli::create()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, existing);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QStringList, files);

    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).removeRecursively());
    QVERIFY(QDir().mkpath(dir.path()));
    for (const QString &f : existing)
        QVERIFY(WriteFile(path(f), "old"));
    const CliResult result = RunCli(dir.path(), args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.err, err);
    QStringList actual;
    const auto after = FolderSnapshot(dir.path());
    for (auto it = after.begin(); it != after.end(); ++it)
        actual << QStringLiteral("%1 %2").arg(it.key()).arg(it.value().size());
    QCOMPARE(actual, files);
    if (files.contains("new.img 2048"))
        QCOMPARE(ReadFile(path("new.img")).left(8), QByteArray("VER2\0\0\0\0", 8));
}

void TestCli::extract_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QStringList>("args"); // after "extract a.img"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QStringList>("written"); // "file=entry": out/file holds entry's data

    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + " ";
        QTest::newRow(tag + "all") << v << kRecords << QStringList{"-o", "out"} << 0 << ""
                                   << QStringList{"Generic.txd=1", "empty.col=2", "gang01.DFF=0",
                                                  "树木.dff=3"};
        QTest::newRow(tag + "by name, ASCII case ignored")
            << v << kRecords << QStringList{"--output", "out", "GENERIC.txd", "树木.DFF"} << 0 << ""
            << QStringList{"Generic.txd=1", "树木.dff=3"};
        QTest::newRow(tag + "by --regex") << v << kRecords << QStringList{"-o", "out", "--regex", "^[eg]"}
                                          << 0 << "" << QStringList{"empty.col=2", "gang01.DFF=0"};
        QTest::newRow(tag + "an unknown name: nothing written")
            << v << kRecords << QStringList{"-o", "out", "gang01.DFF", "nope"} << 1
            << "ostrevale-cli: no entry named 'nope'\n"
            << QStringList();
        QTest::newRow(tag + "the folder does not exist")
            << v << kRecords << QStringList{"-o", "nowhere"} << 1 << "ostrevale-cli: 访问输出文件夹失败\n"
            << QStringList();
        // Duplicate names: the first is written, the others reported.
        const Records twins = {{1, 1, "tree.txd"}, {2, 1, "a.dff"}, {3, 1, "TREE.txd"}, {4, 1, "tree.txd"}};
        QTest::newRow(tag + "entries of one name")
            << v << twins << QStringList{"-o", "out"} << 1
            << "ostrevale-cli: entry 2 (TREE.txd) not extracted: same name "
               "as entry 0 (tree.txd)\n"
               "ostrevale-cli: entry 3 (tree.txd) not extracted: same name "
               "as entry 0 (tree.txd)\n"
            << QStringList{"a.dff=1", "tree.txd=0"};
        QTest::newRow(tag + "one name given for twins")
            << v << twins << QStringList{"-o", "out", "Tree.TXD"} << 1 << "*" << QStringList{"tree.txd=0"};
    }
}

void TestCli::extract()
{
    QFETCH(int, version);
    QFETCH(Records, records);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QStringList, written);

    Prepare(0);
    QVERIFY(version == 1 ? WriteVer1(path("a.img"), records) : WriteVer2(path("a.img"), records));
    const auto archiveBefore = ReadFile(path("a.img"));
    const CliResult result = RunCli(dir.path(), QStringList{"extract", "a.img"} + args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QString());
    if (err != QLatin1String("*"))
        QCOMPARE(result.err, err);
    QCOMPARE(ReadFile(path("a.img")), archiveBefore);

    QStringList expectedFiles;
    for (const QString &w : written)
        expectedFiles << w.section('=', 0, 0);
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expectedFiles);
    for (const QString &w : written) {
        const int entry = w.section('=', 1).toInt();
        const Record &r = records[size_t(entry)];
        QCOMPARE(ReadFile(path("out/" + w.section('=', 0, 0))), Pattern(entry, r.size * SECTOR_SIZE));
    }
}

void TestCli::helpForEveryCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("usage");
    QTest::newRow("create") << "create"
                            << "create ARCHIVE.img";
    QTest::newRow("info") << "info"
                          << "info ARCHIVE.img";
    QTest::newRow("list") << "list"
                          << "list ARCHIVE.img";
    QTest::newRow("add") << "add"
                         << "add ARCHIVE.img PATH...";
    QTest::newRow("extract") << "extract"
                             << "extract ARCHIVE.img [NAME...]";
    QTest::newRow("delete") << "delete"
                            << "delete ARCHIVE.img NAME...";
    QTest::newRow("rename") << "rename"
                            << "rename ARCHIVE.img OLD NEW";
    QTest::newRow("rebuild") << "rebuild"
                             << "rebuild ARCHIVE.img";
    QTest::newRow("check") << "check"
                           << "check ARCHIVE.img";
    QTest::newRow("diff") << "diff"
                          << "diff A.img B.img";
    QTest::newRow("convert") << "convert"
                             << "convert ARCHIVE.img NEW.img";
    QTest::newRow("cat") << "cat"
                         << "cat ARCHIVE.img NAME";
}

void TestCli::helpForEveryCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, usage);
    Prepare(1);
    const auto before = FolderSnapshot(dir.path());
    // Help wins over everything else on the line, and touches nothing.
    const CliResult result = RunCli(dir.path(), {command, "a.img", "--help"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.err, QString());
    QCOMPARE(result.out.section('\n', 0, 0), "Usage: ostrevale-cli [options] " + usage);
    QVERIFY(result.out.contains("-h, --help"));
    QCOMPARE(FolderSnapshot(dir.path()), before);

    const CliResult overview = RunCli(dir.path(), {"--help"});
    QCOMPARE(overview.exitCode, 0);
    QVERIFY(overview.out.contains(QStringLiteral("\n  %1 ").arg(command)));
}

void TestCli::entriesSharingAName_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("records"); // afterwards, as "name offset size"
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + " ";
        QTest::newRow(tag + "delete removes every entry of the name")
            << v << QStringList{"delete", "a.img", "tree.TXD"} << QStringList{"a.dff 2 1"};
        QTest::newRow(tag + "rename renames the first")
            << v << QStringList{"rename", "a.img", "TREE.TXD", "bush.txd"}
            << QStringList{"bush.txd 1 1", "a.dff 2 1", "TREE.txd 3 1", "tree.txd 4 1"};
    }
}

void TestCli::entriesSharingAName()
{
    QFETCH(int, version);
    QFETCH(QStringList, args);
    QFETCH(QStringList, records);
    Prepare(0);
    const Records twins = {{1, 1, "tree.txd"}, {2, 1, "a.dff"}, {3, 1, "TREE.txd"}, {4, 1, "tree.txd"}};
    QVERIFY(version == 1 ? WriteVer1(path("a.img"), twins) : WriteVer2(path("a.img"), twins));
    const QByteArray dataBefore = ReadFile(path("a.img")).mid(int(SECTOR_SIZE));
    const CliResult result = RunCli(dir.path(), args);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.err, QString());
    QStringList actual;
    for (const Record &r : ReadRecords(path("a.img"), version))
        actual << QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(r.name)).arg(r.offset).arg(r.size);
    QCOMPARE(actual, records);
    QCOMPARE(ReadFile(path("a.img")).mid(int(SECTOR_SIZE)), dataBefore);
}

void TestCli::checkFindsProblems_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QString>("out");

    const Records broken = {
        {1, 2, "a.dff"},       {2, 2, "b.dff"},    {4, 1, "A.DFF"},    {5, 1, "abcdefghijklmnopqrstuvwx"},
        {6, 1, "bad\xff.txd"}, {7, 0, "zero.col"}, {7, 1, "fine.col"}, {40, 3, "far.txd"}};
    const QString common = "entry 1 (b.dff): its data overlaps the data of entry 0 (a.dff)\n"
                           "entry 2 (A.DFF): same name as entry 0 (a.dff)\n"
                           "entry 3 (abcdefghijklmnopqrstuvwx): the name has no terminating zero byte\n"
                           "entry 4 (bad\\xff.txd): the name is not valid UTF-8\n";
    for (int v : {1, 2}) {
        // The data file ends after sector 7: entry 7 lies far behind it.
        const QByteArray tag = "v" + QByteArray::number(v);
        QString out =
            common +
            "entry 7 (far.txd): its 3 sectors from byte 81920 run past the end of the data file (16384 "
            "bytes)\n8 entries checked, 5 problems found\n";
        QTest::newRow(tag) << v << broken << out;
    }
    QTest::newRow("v2 directory over data") << 2 << Records{{0, 1, "under.dff"}, {1, 1, "fine.dff"}}
                                            << "entry 0 (under.dff): the directory runs into its data at "
                                               "byte 0\n2 entries checked, 1 problem found\n";
}

void TestCli::checkFindsProblems()
{
    QFETCH(int, version);
    QFETCH(Records, records);
    QFETCH(QString, out);
    Prepare(0);
    const QString p = path("a.img");
    QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2HeaderOverData(p, records));
    // The fixtures place data for every entry; the far one must lie past the end.
    QVERIFY(QFile::resize(p, qMin<qint64>(QFileInfo(p).size(), 8 * SECTOR_SIZE)));
    const auto before = FolderSnapshot(dir.path());
    const CliResult result = RunCli(dir.path(), {"check", "a.img"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, out);
    QCOMPARE(result.err, QString());
    QCOMPARE(FolderSnapshot(dir.path()), before);
}

void TestCli::listJson_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("entries");
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + " ";
        QTest::newRow(tag + "all") << v << QStringList{"--json"} << QList<int>{0, 1, 2, 3};
        QTest::newRow(tag + "sorted by size and filtered")
            << v << QStringList{"--json", "--sort", "size", "--regex", "\\.(dff|DFF|txd)$"}
            << QList<int>{1, 3, 0};
    }
}

void TestCli::listJson()
{
    QFETCH(int, version);
    QFETCH(QStringList, options);
    QFETCH(QList<int>, entries);
    Prepare(version);
    const CliResult result = RunCli(dir.path(), QStringList{"list", "a.img"} + options);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.err, QString());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(result.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(doc.isArray());
    const QJsonArray array = doc.array();
    QCOMPARE(array.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const Record &r = kRecords[size_t(entries[i])];
        const QJsonObject o = array[i].toObject();
        QCOMPARE(o.keys(), (QStringList{"name", "number", "offset", "reserved", "size"}));
        QCOMPARE(o["name"].toString(), QString::fromUtf8(r.name));
        QCOMPARE(o["offset"].toVariant().toLongLong(), qint64(r.offset));
        QCOMPARE(o["size"].toInt(), int(r.size));
        QCOMPARE(o["reserved"].toInt(), int(r.reserved));
        QCOMPARE(o["number"].toInt(), entries[i]);
    }
}

// Names with placeholders of QString::arg, JSON's special characters and a
// control character come out as stored, in both listings.
void TestCli::listShowsNamesAsStored()
{
    Prepare(0);
    const Records records = {{1, 1, "pct%2%1.dff"}, {2, 1, "q\"b\\s.txd"}, {3, 1, "tab\tx.col"}};
    QVERIFY(WriteVer2(path("n.img"), records));
    const CliResult list = RunCli(dir.path(), {"list", "n.img"});
    QCOMPARE(list.exitCode, 0);
    QCOMPARE(list.out,
             QStringLiteral("pct%2%1.dff\t2\t0\t2048\nq\"b\\s.txd\t2\t1\t4096\ntab\tx.col\t2\t2\t6144\n"));
    const CliResult json = RunCli(dir.path(), {"list", "n.img", "--json"});
    QCOMPARE(json.exitCode, 0);
    QJsonParseError error{};
    const QJsonArray array = QJsonDocument::fromJson(json.out.toUtf8(), &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(array.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(array[i].toObject()["name"].toString(), QString::fromUtf8(records[size_t(i)].name));
}

void TestCli::roundTrip_data()
{
    AddVersionRows();
}

void TestCli::roundTrip()
{
    QFETCH(int, version);
    Prepare(0);
    QVERIFY(QDir(dir.path()).mkpath("mods"));
    // Sizes around the sector boundary, an empty file and a Chinese name.
    const QMap<QString, QByteArray> originals = {{"a.dff", Pattern(1, 5000)},     {"B.txd", Pattern(2, 2048)},
                                                 {"c.col", QByteArray()},         {"d.ifp", Pattern(4, 2049)},
                                                 {"树木.dff", Pattern(5, 70000)}, {"zz.bin", Pattern(6, 1)}};
    for (auto it = originals.begin(); it != originals.end(); ++it)
        QVERIFY(WriteFile(path("mods/" + it.key()), it.value()));

    const QStringList steps[] = {{"create", "r.img", "--version", QString::number(version)},
                                 {"add", "r.img", "mods"},
                                 {"delete", "r.img", "D.IFP"},
                                 {"rebuild", "r.img"},
                                 {"check", "r.img"},
                                 {"extract", "r.img", "-o", "out"}};
    for (const QStringList &step : steps) {
        const CliResult result = RunCli(dir.path(), step);
        QVERIFY2(result.exitCode == 0, qPrintable(step.join(' ') + ": " + result.err));
        QCOMPARE(result.err, QString());
    }

    const QStringList exported = QDir(path("out")).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    QCOMPARE(exported, (QStringList{"a.dff", "B.txd", "c.col", "zz.bin", "树木.dff"}));
    for (const QString &name : exported) {
        const QByteArray original = originals.value(name);
        const QByteArray out = ReadFile(path("out/" + name));
        // Whole sectors come out; only the last entry of the data file may end sooner.
        QCOMPARE(out.left(original.size()), original);
        QVERIFY(out.size() <= qint64(BytesToSectors(original.size())) * SECTOR_SIZE);
    }
    const CliResult list = RunCli(dir.path(), {"list", "r.img"});
    QCOMPARE(list.out.count('\n'), 5);
}

void TestCli::progressOnlyOnATerminal_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("shown"); // empty: nothing may appear on the terminal
    QTest::newRow("add") << QStringList{"add", "a.img", "in/new.bin", "in/GENERIC.TXD"}
                         << "[########################] 2/2 in/GENERIC.TXD";
    QTest::newRow("check") << QStringList{"check", "a.img"} << "[########################] 4/4 树木.dff";
    QTest::newRow("extract") << QStringList{"extract", "a.img", "-o", "out", "--regex", "^g"}
                             << "[########################] 1/1 gang01.DFF";
    QTest::newRow("rebuild") << QStringList{"rebuild", "a.img"} << "[########################] 4/4 树木.dff";
    QTest::newRow("check --quiet") << QStringList{"check", "-q", "a.img"} << "";
    QTest::newRow("convert") << QStringList{"convert", "a.img", "b.img", "--version", "1"}
                             << "[########################] 4/4 树木.dff";
    QTest::newRow("diff") << QStringList{"diff", "a.img", "a.img"} << "[########################] 4/4";
    QTest::newRow("diff --quiet") << QStringList{"diff", "--quiet", "a.img", "a.img"} << "";
}

void TestCli::progressOnlyOnATerminal()
{
    QFETCH(QStringList, args);
    QFETCH(QString, shown);
    Prepare(2);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        QSKIP("this machine offers no pseudo-terminal");
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString terminal = QString::fromLocal8Bit(::ptsname(master));

    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setStandardErrorFile(terminal);
    process.start(QStringLiteral(OSTREVALE_CLI_PATH), args);
    QVERIFY(process.waitForFinished(300000));
    QCOMPARE(process.exitCode(), 0);

    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QByteArray seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        seen.append(buffer, int(n));
    ::close(master);
    const QString text = QString::fromUtf8(seen);
    if (shown.isEmpty()) {
        QCOMPARE(text, QString());
    } else {
        QVERIFY2(text.contains(shown), qPrintable(text));
        QVERIFY2(text.endsWith(shown + "\r\n"), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
