#include "bench/BenchRunner.h"

#include "archive/IMGClass.h"
#include "archive/format/IMGFormat.h"
#include "bench/SyntheticArchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

namespace BenchRunner {

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMiB = 1024.0 * 1024.0;

struct Scale
{
    int bigEntries;  // the largest stock version 2 archive
    int v1Entries;   // the largest stock version 1 archive
    int hugeEntries; // open and the table
    int flat[3];     // import into archives of these entry counts
    int importFiles; // files per import
    int deleteCount; // entries per delete
    int runs;        // runs of every operation; the median is reported
};

const Scale kFull = {16316, 6043, 100000, {1000, 10000, 100000}, 1000, 1000, 5};
const Scale kSmall = {1600, 600, 10000, {1000, 3000, 10000}, 200, 100, 3};

struct Spawned
{
    double seconds = 0; // wall clock around the whole child
    long maxRssKiB = 0; // filled from the child's own report
    int status = -1;
    std::multimap<QString, double> values; // what the child measured itself
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<double> Values(const Spawned &s, const QString &key)
{
    std::vector<double> out;
    const auto range = s.values.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
        out.push_back(it->second);
    return out;
}

// Runs a program and waits for it; its peak memory comes from wait4.
Spawned Spawn(const QStringList &arguments, const QString &stdoutPath = QString())
{
    std::vector<QByteArray> encoded;
    for (const QString &a : arguments)
        encoded.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : encoded)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray out = QFile::encodeName(stdoutPath);

    Spawned result;
    std::fflush(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!out.isEmpty()) {
            const int fd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0)
                ::_exit(127);
            ::close(fd);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.maxRssKiB = usage.ru_maxrss;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return result;
}

// The block device's statistics file of the disk being measured (set once), or empty.
QString deviceStat;

// Flushes every dirty page before a run, so no run pays for the writes of the one
// before; then waits until the disk is idle: a file system mounted with `discard`
// trims the blocks of deleted files in the background after the flush.
void Settle()
{
    ::sync();
    if (deviceStat.isEmpty())
        return;
    QByteArray last;
    int quiet = 0;
    for (int i = 0; i < 40 && quiet < 3; ++i) {
        ::usleep(50 * 1000);
        QFile stat(deviceStat);
        if (!stat.open(QIODevice::ReadOnly))
            return;
        // Fields: 5 writes completed, 9 I/O in flight, 12 discards completed.
        const QList<QByteArray> f = stat.readAll().simplified().split(' ');
        const QByteArray now = f.value(4) + ' ' + f.value(11);
        quiet = f.value(8) == "0" && now == last ? quiet + 1 : 0;
        last = now;
    }
}

bool CopyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = in >= 0 && out >= 0;
    while (ok) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ok = ::close(out) == 0 && ok;
    return ok;
}

// The first bytes of a file and its length: what an import or a delete changes.
struct Snapshot
{
    QString path;
    QByteArray head;
    qint64 size = 0;

    void Take(const QString &p, qint64 headBytes)
    {
        path = p;
        QFile f(p);
        f.open(QIODevice::ReadOnly);
        size = f.size();
        head = f.read(std::min(headBytes, size));
    }
    bool Restore() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadWrite) && f.resize(size) && f.write(head) == head.size();
    }
};

double FsyncSeconds(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const auto start = Clock::now();
    ::fsync(fd);
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return t;
}

double RawReadSeconds(const QString &path, qint64 offset, qint64 bytes)
{
    QByteArray buffer(int(bytes), Qt::Uninitialized);
    const auto start = Clock::now();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd, buffer.data() + done, size_t(bytes - done), off_t(offset + done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QString Shell(const QString &command)
{
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString Grouped(qint64 n)
{
    QString s = QString::number(n);
    for (int i = s.size() - 3; i > 0; i -= 3)
        s.insert(i, QLatin1Char(','));
    return s;
}

QString Duration(double seconds)
{
    if (seconds <= 0)
        return QStringLiteral("—");
    if (seconds < 1e-3)
        return QStringLiteral("%1 µs").arg(seconds * 1e6, 0, 'f', 0);
    if (seconds < 1)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', seconds < 0.01 ? 2 : 1);
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 3);
}

struct Row
{
    Row(const QString &operation, qint64 entries, qint64 bytes, double seconds,
        const QString &baseline = QString(), double baselineSeconds = 0, long rssKiB = 0,
        const QString &target = QString())
        : operation(operation)
        , entries(entries)
        , bytes(bytes)
        , seconds(seconds)
        , baseline(baseline)
        , baselineSeconds(baselineSeconds)
        , rssKiB(rssKiB)
        , target(target)
    {
    }

    QString operation;
    qint64 entries = 0;
    qint64 bytes = 0;
    double seconds = 0;
    QString baseline;
    double baselineSeconds = 0;
    long rssKiB = 0;
    QString target; // e.g. "≤ 1.30 ×" or "≤ 50 ms"
    QString verdict;
    // For the chart: the limit as a ratio to the baseline, or as seconds when
    // the target is a time (then the chart shows the time ÷ the limit).
    double limit = 0;
    bool limitIsTime = false;
    bool showRate = true;
};

class Runner
{
public:
    explicit Runner(const Options &options)
        : options(options)
        , scale(options.full ? kFull : kSmall)
        , work(options.workFolder)
    {
    }

    int Run();

private:
    QString Path(const QString &name) const { return work.filePath(name); }
    // One child run of an operation; aborts the whole benchmark when it fails.
    Spawned Operation(const QString &name, const QStringList &args);
    void Fail(const QString &what);
    void Log(const QString &text);
    // Judges a row against a ratio to its baseline, or against a time.
    static void JudgeRatio(Row &row, double limit);
    static void JudgeTime(Row &row, double limitSeconds);
    // The same measurement shown next to a further baseline, not judged.
    static Row AlsoAgainst(const Row &row, const QString &baseline, double baselineSeconds);

    void Generate();
    void MeasureOpen();
    void MeasureImport();
    void MeasureImportScaling();
    void MeasureExport();
    void MeasureDelete();
    void MeasureRebuild();
    void MeasureToolkit();
    void MeasureTable();
    void MeasureWindowAgainstCli();
    void MeasureCliListing();
    void WriteChartData() const;

    QString Table() const;
    QString Machine() const;
    void Report();

    const Options options;
    const Scale scale;
    QDir work;
    std::vector<Row> rows;
    std::vector<QString> notes;
    bool failed = false;
    long peakLimitKiB = 0;
    long memoryWorstKiB = 0;
    QString memoryWorst;

    SyntheticArchive::Summary big, v1, huge;
    QString bigMaster, bigWork, v1Master, v1Work, hugePath, importList;
    qint64 importBytes = 0;
    std::vector<std::string> importFiles;
};

void Runner::JudgeRatio(Row &row, double limit)
{
    row.target = QStringLiteral("≤ %1 ×").arg(limit, 0, 'f', 2);
    row.limit = limit;
    row.limitIsTime = false;
    row.verdict =
        row.seconds <= limit * row.baselineSeconds ? QStringLiteral("met") : QStringLiteral("**missed**");
}

void Runner::JudgeTime(Row &row, double limitSeconds)
{
    row.target = QStringLiteral("≤ %1").arg(Duration(limitSeconds));
    row.limit = limitSeconds;
    row.limitIsTime = true;
    row.verdict = row.seconds <= limitSeconds ? QStringLiteral("met") : QStringLiteral("**missed**");
}

Row Runner::AlsoAgainst(const Row &row, const QString &baseline, double baselineSeconds)
{
    Row other = row;
    other.baseline = baseline;
    other.baselineSeconds = baselineSeconds;
    other.target.clear();
    other.verdict.clear();
    other.limit = 0;
    return other;
}

void Runner::Log(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

void Runner::Fail(const QString &what)
{
    Log(QStringLiteral("FAILED: ") + what);
    failed = true;
}

Spawned Runner::Operation(const QString &name, const QStringList &args)
{
    const QString resultFile = Path(QStringLiteral("result.txt"));
    QFile::remove(resultFile);
    Spawned s = Spawn(QStringList{options.self, QStringLiteral("op"), name, resultFile} + args);
    if (s.status != 0)
        Fail(QStringLiteral("%1 %2 exited with %3").arg(name, args.join(QLatin1Char(' '))).arg(s.status));
    QFile file(resultFile);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!file.atEnd()) {
            const QList<QByteArray> parts = file.readLine().trimmed().split(' ');
            if (parts.size() == 2)
                s.values.emplace(QString::fromUtf8(parts[0]), parts[1].toDouble());
        }
    }
    if (s.values.empty())
        Fail(QStringLiteral("%1 measured nothing").arg(name));
    // wait4's maximum would include the pages this process had when it forked.
    const auto peak = s.values.find(QStringLiteral("peak_kib"));
    s.maxRssKiB = peak != s.values.end() ? long(peak->second) : 0;
    return s;
}

void Runner::Generate()
{
    const auto start = Clock::now();
    bigMaster = Path(QStringLiteral("big-master.img"));
    bigWork = Path(QStringLiteral("big.img"));
    v1Master = Path(QStringLiteral("v1-master.img"));
    v1Work = Path(QStringLiteral("v1.img"));
    hugePath = Path(QStringLiteral("huge.img"));
    if (!SyntheticArchive::Write(bigMaster, {2, scale.bigEntries, 16316, false}, &big) ||
        !SyntheticArchive::Write(v1Master, {1, scale.v1Entries, 6043, false}, &v1) ||
        !SyntheticArchive::Write(hugePath, {2, scale.hugeEntries, 100000, true}, &huge))
        Fail(QStringLiteral("generating the archives"));
    const QString folder = Path(QStringLiteral("import"));
    work.mkpath(QStringLiteral("import"));
    importFiles = SyntheticArchive::WriteImportFiles(folder, scale.importFiles, 1000, &importBytes);
    importList = Path(QStringLiteral("import.txt"));
    QFile list(importList);
    list.open(QIODevice::WriteOnly | QIODevice::Text);
    for (const std::string &p : importFiles)
        list.write(QByteArray::fromStdString(p + "\n"));
    list.close();
    if (importFiles.empty())
        Fail(QStringLiteral("generating the import files"));
    Settle();
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    Log(QStringLiteral("generated %1 + %2 + %3 entries, %4 MiB of data and %5 import files in %6 s")
            .arg(big.entries)
            .arg(v1.entries)
            .arg(huge.entries)
            .arg((big.dataBytes + v1.dataBytes + importBytes) / kMiB, 0, 'f', 0)
            .arg(importFiles.size())
            .arg(t, 0, 'f', 2));
    peakLimitKiB = long((SyntheticArchive::kLargestEntryBytes + 64 * kMiB) / 1024);
    const QString device = Shell(
        QStringLiteral("basename \"$(findmnt -no SOURCE -T '%1' | head -1)\"").arg(work.absolutePath()));
    // Only the full scale waits for an idle disk (at most 2 s a run); the smoke run does not.
    if (options.full && !device.isEmpty() &&
        QFileInfo::exists(QStringLiteral("/sys/class/block/%1/stat").arg(device)))
        deviceStat = QStringLiteral("/sys/class/block/%1/stat").arg(device);
}

void Runner::MeasureOpen()
{
    struct Case
    {
        QString label;
        QString path;
        const SyntheticArchive::Summary *summary;
        qint64 dirOffset;
        bool huge;
    };
    const QString v1Dir = v1Master.left(v1Master.size() - 3) + QStringLiteral("dir");
    const std::vector<Case> cases = {
        {QStringLiteral("open, version 2"), bigMaster, &big, 0, false},
        {QStringLiteral("open, version 1"), v1Master, &v1, 0, false},
        {QStringLiteral("open, version 2"), hugePath, &huge, 0, true},
    };
    for (const Case &c : cases) {
        std::vector<double> times, raw;
        long rss = 0;
        const QString dirPath = c.summary == &v1 ? v1Dir : c.path;
        for (int r = 0; r < scale.runs; ++r) {
            raw.push_back(RawReadSeconds(dirPath, c.dirOffset, c.summary->directoryBytes));
            const Spawned s = Operation(QStringLiteral("open"), {c.path});
            times.push_back(Median(Values(s, QStringLiteral("time"))));
            rss = std::max(rss, s.maxRssKiB);
        }
        Row row{c.label,
                c.summary->entries,
                c.summary->directoryBytes,
                Median(times),
                QStringLiteral("raw read of the directory bytes"),
                Median(raw),
                rss};
        if (c.huge)
            JudgeRatio(row, 2.0);
        rows.push_back(row);
        Log(QStringLiteral("%1 %2: %3").arg(c.label).arg(c.summary->entries).arg(Duration(row.seconds)));
    }
}

void Runner::MeasureImport()
{
    Snapshot snapshot;
    CopyFile(bigMaster, bigWork);
    snapshot.Take(bigWork, big.directoryBytes + 32 * 1024 * 1024);
    std::vector<double> times, cats;
    long rss = 0;
    QStringList catArgs{QStringLiteral("cat")};
    for (const std::string &p : importFiles)
        catArgs << QString::fromStdString(p);
    const QString catOut = Path(QStringLiteral("cat.out"));
    for (int r = 0; r < scale.runs; ++r) {
        QFile::remove(catOut);
        Settle();
        cats.push_back(Spawn(catArgs, catOut).seconds);
        snapshot.Restore();
        Settle();
        const Spawned s = Operation(QStringLiteral("import"), {bigWork, importList});
        times.push_back(Median(Values(s, QStringLiteral("time"))));
        rss = std::max(rss, s.maxRssKiB);
    }
    QFile::remove(catOut);
    snapshot.Restore();
    Row row{QStringLiteral("import %1 files, version 2").arg(importFiles.size()),
            big.entries,
            importBytes,
            Median(times),
            QStringLiteral("one `cat` of the files into one file"),
            Median(cats),
            rss};
    rows.push_back(row);
    Log(QStringLiteral("import: %1 (cat %2)").arg(Duration(row.seconds), Duration(row.baselineSeconds)));
}

void Runner::MeasureImportScaling()
{
    double firstPerFile = 0;
    for (int i = 0; i < 3; ++i) {
        const int n = scale.flat[i];
        const QString path = Path(QStringLiteral("flat%1.img").arg(n));
        SyntheticArchive::Summary summary;
        std::vector<double> times;
        long rss = 0;
        for (int r = 0; r < scale.runs; ++r) {
            SyntheticArchive::Write(path, {2, n, quint64(n), true}, &summary);
            Settle();
            const Spawned s = Operation(QStringLiteral("import"), {path, importList});
            times.push_back(Median(Values(s, QStringLiteral("time"))));
            rss = std::max(rss, s.maxRssKiB);
        }
        QFile::remove(path);
        const double perFile = Median(times) / double(importFiles.size());
        if (i == 0)
            firstPerFile = perFile;
        Row row{QStringLiteral("import %1 files, per file (sparse archive)").arg(importFiles.size()),
                n,
                importBytes / qint64(importFiles.size()),
                perFile,
                i == 0 ? QString() : QStringLiteral("per file into %1 entries").arg(Grouped(scale.flat[0])),
                i == 0 ? 0.0 : firstPerFile,
                rss};
        if (i > 0)
            JudgeRatio(row, 1.2);
        rows.push_back(row);
        Log(QStringLiteral("import into %1: %2 per file").arg(n).arg(Duration(perFile)));
    }
}

// Reads a file once from start to end, so that its pages are in the page cache.
void ReadWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    while (file.read(buffer.data(), buffer.size()) > 0) {
    }
}

// The number of files in a folder and their bytes.
std::pair<qint64, qint64> FolderFiles(const QString &folder)
{
    qint64 files = 0, bytes = 0;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        ++files;
        bytes += f.size();
    }
    return {files, bytes};
}

// Extracting every entry, against the best general tools making the same files
// from the same bytes on the same file system: `cp -r` of a folder already
// holding them (it copies inside the kernel, as the engine does, but opens two
// files per entry) and GNU `tar -xf` of a tar of them. The three alternate, in
// an order that turns with every run, each after an idle disk; every run writes
// into a folder of its own and all are removed at the end, since creating files
// right after deleting as many costs this file system more.
void Runner::MeasureExport()
{
    struct Case
    {
        QString label;
        QString master;
        const SyntheticArchive::Summary *summary;
        QString tag;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("export all, version 2"), bigMaster, &big, QStringLiteral("v2")},
        {QStringLiteral("export all, version 1"), v1Master, &v1, QStringLiteral("v1")}};
    for (const Case &c : cases) {
        // The reference files are the engine's own export, so every tool makes the
        // same files (a version 1 archive's duplicate names leave one file each).
        const QString reference = Path(QStringLiteral("reference-") + c.tag);
        const QString tarFile = reference + QStringLiteral(".tar");
        work.mkpath(QFileInfo(reference).fileName());
        Operation(QStringLiteral("export"), {c.master, reference});
        if (Spawn({QStringLiteral("tar"), QStringLiteral("-cf"), tarFile, QStringLiteral("-C"), reference,
                   QStringLiteral(".")})
                .status != 0)
            Fail(QStringLiteral("tar -cf of the reference files"));
        const std::pair<qint64, qint64> files = FolderFiles(reference);
        // The reference files and the tar were just written and are in memory; so
        // must the archive be, whatever the runs before pushed out of the page cache.
        ReadWhole(c.master);
        if (c.summary == &v1)
            ReadWhole(DirPathFor(c.master));

        std::vector<double> times, cps, tars;
        long rss = 0;
        QStringList made;
        for (int r = 0; r < scale.runs; ++r) {
            const QString suffix = QStringLiteral("-%1-%2").arg(c.tag).arg(r);
            const QString out = Path(QStringLiteral("export") + suffix);
            const QString cpOut = Path(QStringLiteral("cp") + suffix); // made by cp -r itself
            const QString tarOut = Path(QStringLiteral("tar") + suffix);
            work.mkpath(QFileInfo(out).fileName());
            work.mkpath(QFileInfo(tarOut).fileName());
            made << out << cpOut << tarOut;
            for (int step = 0; step < 3; ++step) {
                Settle();
                switch ((step + r) % 3) {
                case 0: {
                    const Spawned s = Operation(QStringLiteral("export"), {c.master, out});
                    times.push_back(Median(Values(s, QStringLiteral("time"))));
                    rss = std::max(rss, s.maxRssKiB);
                    break;
                }
                case 1:
                    cps.push_back(
                        Spawn({QStringLiteral("cp"), QStringLiteral("-r"), reference, cpOut}).seconds);
                    break;
                default:
                    tars.push_back(Spawn({QStringLiteral("tar"), QStringLiteral("-xf"), tarFile,
                                          QStringLiteral("-C"), tarOut})
                                       .seconds);
                    break;
                }
            }
            if (FolderFiles(out) != files || FolderFiles(cpOut) != files || FolderFiles(tarOut) != files)
                Fail(QStringLiteral("%1: the export, cp -r and tar -xf made different files").arg(c.label));
        }
        for (const QString &folder : made)
            QDir(folder).removeRecursively();
        QDir(reference).removeRecursively();
        QFile::remove(tarFile);
        Settle();
        Row row(c.label, c.summary->entries, files.second, Median(times),
                QStringLiteral("`cp -r` of a folder holding the same %1 files").arg(Grouped(files.first)),
                Median(cps), rss);
        JudgeRatio(row, 0.9);
        const Row tar = AlsoAgainst(row, QStringLiteral("GNU `tar -xf` of a tar of them"), Median(tars));
        rows.push_back(row);
        rows.push_back(tar);
        Log(QStringLiteral("%1: %2 (cp -r %3, tar -xf %4)")
                .arg(c.label, Duration(row.seconds), Duration(row.baselineSeconds),
                     Duration(tar.baselineSeconds)));
    }
}

void Runner::MeasureDelete()
{
    Snapshot snapshot;
    CopyFile(bigMaster, bigWork);
    snapshot.Take(bigWork, big.directoryBytes + 2048);
    std::vector<double> times;
    long rss = 0;
    for (int r = 0; r < scale.runs; ++r) {
        snapshot.Restore();
        Settle();
        const Spawned s = Operation(QStringLiteral("delete"), {bigWork, QString::number(scale.deleteCount)});
        times.push_back(Median(Values(s, QStringLiteral("time"))));
        rss = std::max(rss, s.maxRssKiB);
    }
    snapshot.Restore();
    Row row{QStringLiteral("delete %1 entries, version 2").arg(scale.deleteCount),
            big.entries,
            big.directoryBytes,
            Median(times),
            QString(),
            0,
            rss};
    row.showRate = false;
    rows.push_back(row);
}

void Runner::MeasureRebuild()
{
    struct Case
    {
        QString label;
        QString master;
        QString working;
        const SyntheticArchive::Summary *summary;
    };
    const std::vector<Case> cases = {{QStringLiteral("rebuild, version 2"), bigMaster, bigWork, &big},
                                     {QStringLiteral("rebuild, version 1"), v1Master, v1Work, &v1}};
    const QString cpOut = Path(QStringLiteral("cp.img"));
    for (const Case &c : cases) {
        std::vector<double> times, cps, cpSyncs, cpSyncRemoves;
        long rss = 0;
        for (int r = 0; r < scale.runs; ++r) {
            QFile::remove(cpOut);
            Settle();
            const double cp = Spawn({QStringLiteral("cp"), c.master, cpOut}).seconds;
            cps.push_back(cp);
            const double cpSync = cp + FsyncSeconds(cpOut);
            cpSyncs.push_back(cpSync);
            // The rebuild also lets go of the file it replaces; so does this baseline.
            const auto removing = Clock::now();
            QFile::remove(cpOut);
            cpSyncRemoves.push_back(cpSync + std::chrono::duration<double>(Clock::now() - removing).count());
            CopyFile(c.master, c.working);
            if (c.summary == &v1)
                CopyFile(DirPathFor(c.master), DirPathFor(c.working));
            Settle();
            const Spawned s = Operation(QStringLiteral("rebuild"), {c.working});
            times.push_back(Median(Values(s, QStringLiteral("time"))));
            rss = std::max(rss, s.maxRssKiB);
        }
        Row fair{c.label,
                 c.summary->entries,
                 c.summary->dataBytes,
                 Median(times),
                 QStringLiteral("`cp` + fsync of the copy"),
                 Median(cpSyncs),
                 rss};
        JudgeRatio(fair, 1.1);
        const Row plain = AlsoAgainst(fair, QStringLiteral("plain `cp` (no fsync)"), Median(cps));
        const Row replacing =
            AlsoAgainst(fair, QStringLiteral("`cp` + fsync + deleting a file as large"), Median(cpSyncRemoves));
        rows.push_back(fair);
        rows.push_back(plain);
        rows.push_back(replacing);
        Log(QStringLiteral("%1: %2 (cp %3, cp + fsync %4)")
                .arg(c.label, Duration(fair.seconds), Duration(plain.baselineSeconds),
                     Duration(fair.baselineSeconds)));
    }
    QFile::remove(cpOut);
}

// ostrevale-cli's diff, convert and add --from on the stock-sized version 2
// archive (in process, as the other command-line rows), each next to the tool
// that does the same reading and writing.
void Runner::MeasureToolkit()
{
    // A twin of the archive with one byte changed in every hundredth entry: `cmp -l`
    // reads both files to their ends and has almost nothing to print. (Its output
    // goes to a file: GNU cmp stops at the first difference when it writes to /dev/null.)
    const QString twin = Path(QStringLiteral("twin.img"));
    CopyFile(bigMaster, twin);
    int differing = 0;
    {
        IMGClass archive;
        QFile data(twin);
        if (!archive.OpenArchive(bigMaster) || !data.open(QIODevice::ReadWrite))
            Fail(QStringLiteral("preparing the twin archive"));
        for (size_t i = 0; i < archive.directory.size(); i += 100, ++differing) {
            const IMGDirectoryEntry &e = archive.directory[i].entry;
            const qint64 at = SectorToBytes(e.offset) + qint64(e.size) * SECTOR_SIZE / 2;
            data.seek(at);
            char byte = 0;
            data.getChar(&byte);
            data.seek(at);
            data.putChar(char(byte ^ 0x5A));
        }
    }
    std::vector<double> diffs, cmps;
    long rss = 0;
    for (int r = 0; r < scale.runs; ++r) {
        Settle();
        cmps.push_back(Spawn({QStringLiteral("cmp"), QStringLiteral("-l"), bigMaster, twin},
                             Path(QStringLiteral("cmp.out")))
                           .seconds);
        Settle();
        const Spawned s = Operation(QStringLiteral("cli-diff"), {bigMaster, twin});
        diffs.push_back(Median(Values(s, QStringLiteral("time"))));
        rss = std::max(rss, s.maxRssKiB);
    }
    Row diff{QStringLiteral("ostrevale-cli diff, version 2, %1 of %2 entries changed")
                 .arg(differing)
                 .arg(big.entries),
             big.entries,
             2 * big.dataBytes,
             Median(diffs),
             QStringLiteral("`cmp -l` of the two data files"),
             Median(cmps),
             rss};
    JudgeRatio(diff, 1.2);
    rows.push_back(diff);

    const QString converted = Path(QStringLiteral("converted.img"));
    const QString cpOut = Path(QStringLiteral("cp.img"));
    std::vector<double> converts, cpSyncs;
    rss = 0;
    for (int r = 0; r < scale.runs; ++r) {
        QFile::remove(cpOut);
        Settle();
        cpSyncs.push_back(Spawn({QStringLiteral("cp"), bigMaster, cpOut}).seconds + FsyncSeconds(cpOut));
        QFile::remove(cpOut);
        QFile::remove(converted);
        QFile::remove(DirPathFor(converted));
        Settle();
        const Spawned s =
            Operation(QStringLiteral("cli-convert"), {bigMaster, converted, QStringLiteral("1")});
        converts.push_back(Median(Values(s, QStringLiteral("time"))));
        rss = std::max(rss, s.maxRssKiB);
    }
    QFile::remove(converted);
    QFile::remove(DirPathFor(converted));
    Row convert{QStringLiteral("ostrevale-cli convert, version 2 to 1"),
                big.entries,
                big.dataBytes,
                Median(converts),
                QStringLiteral("`cp` + fsync of the data file"),
                Median(cpSyncs),
                rss};
    JudgeRatio(convert, 1.1);
    rows.push_back(convert);

    // The import files as entries of an archive of their own.
    const QString source = Path(QStringLiteral("from.img"));
    {
        IMGClass from;
        QStringList files;
        for (const std::string &p : importFiles)
            files << QString::fromStdString(p);
        if (!from.CreateArchive(source, 2) || !from.OpenArchive(source))
            Fail(QStringLiteral("creating the source archive"));
        from.ImportFiles(files);
    }
    Snapshot snapshot;
    CopyFile(bigMaster, bigWork);
    snapshot.Take(bigWork, big.directoryBytes + 32 * 1024 * 1024);
    std::vector<double> adds, imports;
    rss = 0;
    for (int r = 0; r < scale.runs; ++r) {
        snapshot.Restore();
        Settle();
        imports.push_back(Median(
            Values(Operation(QStringLiteral("cli-import"), {bigWork, importList}), QStringLiteral("time"))));
        snapshot.Restore();
        Settle();
        const Spawned s = Operation(QStringLiteral("cli-add-from"), {bigWork, source});
        adds.push_back(Median(Values(s, QStringLiteral("time"))));
        rss = std::max(rss, s.maxRssKiB);
    }
    snapshot.Restore();
    QFile::remove(source);
    QFile::remove(twin);
    QFile::remove(Path(QStringLiteral("cmp.out")));
    Row add{QStringLiteral("ostrevale-cli add --from, %1 entries, version 2").arg(importFiles.size()),
            big.entries,
            importBytes,
            Median(adds),
            QStringLiteral("ostrevale-cli add of the same files"),
            Median(imports),
            rss};
    JudgeRatio(add, 1.1);
    rows.push_back(add);
    Log(QStringLiteral("diff %1 (cmp %2); convert %3 (cp + fsync %4); add --from %5 (import %6)")
            .arg(Duration(diff.seconds), Duration(diff.baselineSeconds), Duration(convert.seconds),
                 Duration(convert.baselineSeconds), Duration(add.seconds), Duration(add.baselineSeconds)));
}

void Runner::MeasureWindowAgainstCli()
{
    Snapshot snapshot;
    CopyFile(bigMaster, bigWork);
    snapshot.Take(bigWork, big.directoryBytes + 32 * 1024 * 1024);
    std::vector<double> windowImport, cliImport, windowRebuild, cliRebuild;
    long rssWindowImport = 0, rssCliImport = 0, rssWindowRebuild = 0, rssCliRebuild = 0;
    for (int r = 0; r < scale.runs; ++r) {
        snapshot.Restore();
        Settle();
        Spawned s = Operation(QStringLiteral("cli-import"), {bigWork, importList});
        cliImport.push_back(Median(Values(s, QStringLiteral("time"))));
        rssCliImport = std::max(rssCliImport, s.maxRssKiB);
        snapshot.Restore();
        Settle();
        s = Operation(QStringLiteral("window-import"), {bigWork, importList});
        windowImport.push_back(Median(Values(s, QStringLiteral("time"))));
        rssWindowImport = std::max(rssWindowImport, s.maxRssKiB);
    }
    for (int r = 0; r < scale.runs; ++r) {
        CopyFile(bigMaster, bigWork);
        Settle();
        Spawned s = Operation(QStringLiteral("cli-rebuild"), {bigWork});
        cliRebuild.push_back(Median(Values(s, QStringLiteral("time"))));
        rssCliRebuild = std::max(rssCliRebuild, s.maxRssKiB);
        CopyFile(bigMaster, bigWork);
        Settle();
        s = Operation(QStringLiteral("window-rebuild"), {bigWork});
        windowRebuild.push_back(Median(Values(s, QStringLiteral("time"))));
        rssWindowRebuild = std::max(rssWindowRebuild, s.maxRssKiB);
    }
    const QString files = QString::number(importFiles.size());
    rows.push_back({QStringLiteral("ostrevale-cli add %1 files (open + import)").arg(files), big.entries,
                    importBytes, Median(cliImport), QString(), 0, rssCliImport});
    Row window{QStringLiteral("window: import %1 files (open + import)").arg(files),
               big.entries,
               importBytes,
               Median(windowImport),
               QStringLiteral("ostrevale-cli add, same work"),
               Median(cliImport),
               rssWindowImport};
    JudgeRatio(window, 1.25);
    rows.push_back(window);
    rows.push_back({QStringLiteral("ostrevale-cli rebuild (open + rebuild + reopen)"), big.entries,
                    big.dataBytes, Median(cliRebuild), QString(), 0, rssCliRebuild});
    window = {QStringLiteral("window: rebuild (open + rebuild + reopen)"),
              big.entries,
              big.dataBytes,
              Median(windowRebuild),
              QStringLiteral("ostrevale-cli rebuild, same work"),
              Median(cliRebuild),
              rssWindowRebuild};
    JudgeRatio(window, 1.25);
    rows.push_back(window);
    Log(QStringLiteral("window import %1 vs cli %2; window rebuild %3 vs cli %4")
            .arg(Duration(Median(windowImport)), Duration(Median(cliImport)), Duration(Median(windowRebuild)),
                 Duration(Median(cliRebuild))));
}

void Runner::MeasureTable()
{
    const Spawned s =
        Operation(QStringLiteral("window-table"),
                  {hugePath, QString::number(std::max(scale.runs, 5)), QStringLiteral("gang1")});
    // Judged on the median, as every other row; the worst run is named when far off.
    const auto add = [&](const QString &label, const QString &key, double limitSeconds) {
        Row row{label, huge.entries, 0, Median(Values(s, key)), QString(), 0, s.maxRssKiB};
        row.showRate = false;
        if (limitSeconds > 0) {
            JudgeTime(row, limitSeconds);
            const std::vector<double> v = Values(s, key);
            const double worst = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
            if (worst > row.seconds * 1.5)
                row.verdict += QStringLiteral(" (worst %1)").arg(Duration(worst));
        }
        rows.push_back(row);
    };
    add(QStringLiteral("window: open, table fed all entries"), QStringLiteral("feed"), 0.050);
    const char *const names[] = {"name", "size", "number", "offset"};
    for (int c = 0; c < 4; ++c) {
        const double limit = c == 0 ? 0.120 : 0.200;
        add(QStringLiteral("table: sort by %1, ascending").arg(QLatin1String(names[c])),
            QStringLiteral("sort%1").arg(c), limit);
        add(QStringLiteral("table: sort by %1, descending").arg(QLatin1String(names[c])),
            QStringLiteral("sortdesc%1").arg(c), limit);
    }
    add(QStringLiteral("table: filter keystroke, typing \"gang1\""), QStringLiteral("type"), 0.200);
    add(QStringLiteral("table: filter keystroke, erasing"), QStringLiteral("erase"), 0.200);
    add(QStringLiteral("table: filter cleared (all rows back)"), QStringLiteral("clear"), 0.150);
}

// `ostrevale-cli info` and `list` as the user runs them (whole processes, output
// into a file), on the 100,000-entry archive and on a 1-entry one: the
// difference is what the entries cost above starting the program.
void Runner::MeasureCliListing()
{
    const QString cli =
        QFileInfo(options.self).absoluteDir().filePath(QStringLiteral("../cli/ostrevale-cli"));
    if (!QFileInfo(cli).isExecutable()) {
        Fail(QStringLiteral("no ostrevale-cli beside the benchmark (%1)").arg(cli));
        return;
    }
    const QString one = Path(QStringLiteral("one.img"));
    SyntheticArchive::Summary oneSummary;
    if (!SyntheticArchive::Write(one, {2, 1, 1, true}, &oneSummary)) {
        Fail(QStringLiteral("generating the 1-entry archive"));
        return;
    }
    const QString out = Path(QStringLiteral("cli.out"));
    struct Case
    {
        QString label;
        QStringList arguments; // after the archive
    };
    const std::vector<Case> cases = {
        {QStringLiteral("`ostrevale-cli info`"), {}},
        {QStringLiteral("`ostrevale-cli list`"), {}},
        {QStringLiteral("`ostrevale-cli list --json`"), {QStringLiteral("--json")}}};
    const QString commands[] = {QStringLiteral("info"), QStringLiteral("list"), QStringLiteral("list")};
    for (size_t k = 0; k < cases.size(); ++k) {
        std::vector<double> big, small;
        for (int r = 0; r < std::max(scale.runs, 5); ++r) {
            for (const QString &archive : {hugePath, one}) {
                // Emptying the last run's output (megabytes for a listing) would trim
                // its blocks inside the timed child: it goes before the disk settles.
                QFile::remove(out);
                Settle();
                const Spawned s = Spawn(QStringList{cli, commands[k], archive} + cases[k].arguments, out);
                if (s.status != 0)
                    Fail(QStringLiteral("ostrevale-cli %1 %2 exited with %3")
                             .arg(commands[k], archive)
                             .arg(s.status));
                (archive == one ? small : big).push_back(s.seconds);
            }
        }
        QFile::remove(out);
        if (k == 2) {
            Row row{cases[k].label, huge.entries, 0, Median(big)};
            row.showRate = false;
            JudgeTime(row, 0.150);
            rows.push_back(row);
        } else {
            Row row{cases[k].label + QStringLiteral(", above the same on 1 entry"),
                    huge.entries,
                    0,
                    Median(big) - Median(small),
                    QStringLiteral("the same command on 1 entry"),
                    Median(small)};
            row.showRate = false;
            // A time above the 1-entry run: judged as a time, the ratio column is not meaningful.
            row.baselineSeconds = 0;
            row.baseline = QStringLiteral("1 entry: %1").arg(Duration(Median(small)));
            JudgeTime(row, k == 0 ? 0.025 : 0.075);
            rows.push_back(row);
        }
        Log(QStringLiteral("%1: %2 (1 entry %3)")
                .arg(cases[k].label, Duration(Median(big)), Duration(Median(small))));
    }
    QFile::remove(one);
}

QString Runner::Table() const
{
    QString t;
    QTextStream out(&t);
    out << "| operation | entries | bytes | time (median) | MB/s | baseline | baseline time | ratio | peak "
           "RSS | "
           "target | result |\n";
    out << "|---|--:|--:|--:|--:|---|--:|--:|--:|---|---|\n";
    for (const Row &r : rows) {
        const bool rate = r.showRate && r.bytes > 0 && r.seconds > 0;
        out << "| " << r.operation << " | " << Grouped(r.entries) << " | "
            << (r.bytes ? Grouped(r.bytes) : "") << " | " << Duration(r.seconds) << " | "
            << (rate ? QString::number(r.bytes / r.seconds / 1e6, 'f', 0) : QString()) << " | " << r.baseline
            << " | " << (r.baselineSeconds > 0 ? Duration(r.baselineSeconds) : QString()) << " | "
            << (r.baselineSeconds > 0 ? QStringLiteral("%1 ×").arg(r.seconds / r.baselineSeconds, 0, 'f', 2)
                                      : QString())
            << " | " << (r.rssKiB > 0 ? QStringLiteral("%1 MiB").arg(r.rssKiB / 1024.0, 0, 'f', 1) : QString())
            << " | " << r.target
            << " | " << r.verdict << " |\n";
    }
    return t;
}

QString Runner::Machine() const
{
    struct sysinfo info = {};
    ::sysinfo(&info);
    const QString cpu = Shell(QStringLiteral("grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-"));
    const QString fs =
        Shell(QStringLiteral("findmnt -no SOURCE,FSTYPE,OPTIONS -T '%1' | head -1").arg(work.absolutePath()));
    const QString device =
        Shell(QStringLiteral("lsblk -dno NAME,SIZE,ROTA,MODEL \"$(findmnt -no SOURCE -T '%1' "
                             "| head -1)\" 2>/dev/null")
                  .arg(work.absolutePath()));
    QString m;
    QTextStream out(&m);
    out << "- CPU: " << (cpu.isEmpty() ? QStringLiteral("unknown") : cpu) << ", "
        << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores online\n";
    out << "- RAM: " << QString::number(double(info.totalram) * info.mem_unit / (1024.0 * kMiB), 'f', 1)
        << " GiB\n";
    out << "- Disk and filesystem of the work folder: " << fs
        << (device.isEmpty() ? QString() : QStringLiteral(" — ")) << device
        << " (lsblk: NAME SIZE ROTA MODEL)\n";
    out << "- Kernel: " << QSysInfo::kernelType() << " " << QSysInfo::kernelVersion() << "; "
        << QSysInfo::prettyProductName() << "\n";
#ifdef __clang__
    out << "- Compiler: Clang " << __VERSION__;
#else
    out << "- Compiler: GCC " << __VERSION__;
#endif
    out << ", Release build (-O3 -DNDEBUG)\n";
    out << "- Qt: " << qVersion() << ", platform plugin `offscreen` for the window\n";
    out << "- Load at start (1/5/15 min): " << Shell(QStringLiteral("cut -d' ' -f1-3 /proc/loadavg"))
        << QStringLiteral(" — the machine is shared with other work\n");
    out << "- Cache state: **warm**. Every archive was just written or copied and is in the page cache; "
           "before each timed run every dirty page is flushed (`sync`, not timed) and, at the full scale, "
           "the runner waits until the disk has no I/O in flight and no new discards (the file system "
           "trims deleted files in the background), so no run pays for "
           "the writes of another. Caches are not dropped (that would disturb the other work on the "
           "machine); reads therefore come from memory for the operation and its baseline alike.\n";
    return m;
}

// One line per judged row for bench/results.gp: label, value, target, met.
void Runner::WriteChartData() const
{
    if (options.chartPath.isEmpty())
        return;
    QString path = options.chartPath;
    path = path.left(path.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".tsv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    for (const Row &r : rows) {
        if (r.limit <= 0 || r.seconds <= 0 || (!r.limitIsTime && r.baselineSeconds <= 0))
            continue;
        const double value = r.limitIsTime ? r.seconds / r.limit : r.seconds / r.baselineSeconds;
        const double target = r.limitIsTime ? 1.0 : r.limit;
        QString label = QStringLiteral("%1, %2").arg(r.operation, Grouped(r.entries));
        label += r.limitIsTime ? QStringLiteral(" (÷ %1)").arg(Duration(r.limit))
                               : QStringLiteral(" (÷ baseline)");
        label.remove(QLatin1Char('`'));
        label.replace(QLatin1Char('"'), QLatin1Char('\''));
        out << label << '\t' << QString::number(value, 'f', 4) << '\t' << QString::number(target, 'f', 4)
            << '\t' << (r.verdict.startsWith(QLatin1String("met")) ? 1 : 0) << '\n';
    }
}

void Runner::Report()
{
    WriteChartData();
    const QString table = Table();
    std::printf("\n%s\n", qPrintable(table));
    for (const QString &note : notes)
        std::printf("%s\n", qPrintable(note));
    if (options.resultsPath.isEmpty())
        return;
    QString text;
    QTextStream out(&text);
    out << "# Benchmark results\n\n";
    out << "Written by `bench/run.sh --scale " << (options.full ? "full" : "small") << "` on "
        << QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        << " UTC. Every time is "
        << "the median of " << scale.runs
        << QStringLiteral(" runs; MB/s is 10⁶ bytes per second; ratio is time ÷ baseline ")
        << "time, both measured in this run on the same bytes.\n\n";
    out << "## Machine\n\n" << Machine() << "\n";
    out << "## Results\n\n" << table << "\n";
    if (!options.chartPath.isEmpty())
        out << "![Each judged operation: its ratio to its baseline, or to its time limit, against the "
               "target]("
            << QFileInfo(options.resultsPath).absoluteDir().relativeFilePath(options.chartPath) << ")\n\n";
    QStringList missed;
    int judged = 0;
    for (const Row &r : rows) {
        if (r.verdict.isEmpty())
            continue;
        ++judged;
        if (r.verdict.contains(QLatin1String("missed"))) {
            const QString value = r.baselineSeconds > 0
                                      ? QStringLiteral("%1 ×").arg(r.seconds / r.baselineSeconds, 0, 'f', 2)
                                      : Duration(r.seconds);
            missed << QStringLiteral("- %1 (%2 entries): %3, target %4")
                          .arg(r.operation, Grouped(r.entries), value, r.target);
        }
    }
    out << "Targets judged in this run: " << judged << ", missed: " << missed.size()
        << (missed.isEmpty() ? "." : " (the notes below say why):") << "\n\n";
    for (const QString &line : missed)
        out << line << "\n";
    if (!missed.isEmpty())
        out << "\n";
    for (const QString &note : notes)
        out << note << "\n";
    if (!options.notesPath.isEmpty()) {
        QFile notesFile(options.notesPath);
        if (notesFile.open(QIODevice::ReadOnly | QIODevice::Text))
            out << "\n" << QString::fromUtf8(notesFile.readAll());
    }
    QFile file(options.resultsPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(text.toUtf8());
}

int Runner::Run()
{
    Generate();
    if (failed)
        return 1;
    MeasureOpen();
    MeasureImport();
    MeasureImportScaling();
    MeasureExport();
    MeasureDelete();
    MeasureRebuild();
    MeasureToolkit();
    MeasureWindowAgainstCli();
    MeasureCliListing();
    MeasureTable();

    // Peak memory of every archive operation against the largest entry plus 64 MiB.
    long worst = 0;
    QString worstName;
    for (const Row &r : rows) {
        if (r.rssKiB > worst) {
            worst = r.rssKiB;
            worstName = r.operation;
        }
    }
    notes.push_back(
        QStringLiteral("Peak memory: the largest of all runs of each operation (maximum resident set "
                       "of its process, whole process). Limit: largest entry (%1 MB) + 64 MiB = "
                       "%2 MiB; highest: %3 MiB (%4) — %5.")
            .arg(SyntheticArchive::kLargestEntryBytes / 1e6, 0, 'f', 1)
            .arg(peakLimitKiB / 1024.0, 0, 'f', 1)
            .arg(worst / 1024.0, 0, 'f', 1)
            .arg(worstName)
            .arg(worst <= peakLimitKiB ? QStringLiteral("met") : QStringLiteral("**missed**")));
    Report();
    return failed ? 1 : 0;
}

} // namespace

int Run(const Options &options)
{
    return Runner(options).Run();
}

} // namespace BenchRunner
