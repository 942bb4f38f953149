#include "bench/BenchOperations.h"

#include "app/OSTREVALE.h"
#include "archive/IMGClass.h"
#include "cli/CommandLine.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace BenchOperations {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()> &work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Result
{
public:
    explicit Result(const QString &path)
        : file(path)
    {
        file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    }
    void Add(const QString &key, double value)
    {
        file.write(QStringLiteral("%1 %2\n").arg(key).arg(value, 0, 'g', 9).toUtf8());
        file.flush();
    }

private:
    QFile file;
};

QStringList ReadList(const QString &path)
{
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

// Every error of the engine ends the benchmark run: a failed operation is no measurement.
int errors = 0;
void CountErrors(IMGClass &img)
{
    QObject::connect(&img, &IMGClass::ErrorOccoured, &img, [](std::initializer_list<QString> pieces) {
        QString message;
        for (const QString &piece : pieces)
            message += piece;
        std::fprintf(stderr, "engine error: %s\n", qPrintable(message));
        ++errors;
    });
}

// The engine alone, as the command-line tool drives it (its session listens to the same signals).
int EngineOperation(const QString &name, Result &result, const QStringList &args)
{
    IMGClass img;
    CountErrors(img);
    // The clients always listen to the progress signals; so does the benchmark.
    int steps = 0;
    QString label;
    QObject::connect(&img, &IMGClass::IncreaseProgressBar, &img, [&steps] { ++steps; });
    QObject::connect(&img, &IMGClass::ImportingFileFullPath, &img, [&label](const QString &s) { label = s; });
    QObject::connect(&img, &IMGClass::ExportingFileName, &img, [&label](const QString &s) { label = s; });
    QObject::connect(&img, &IMGClass::RebuildingFileName, &img, [&label](const QString &s) { label = s; });

    const QString archive = args.value(0);
    if (name == QLatin1String("open")) {
        bool opened = false;
        const double t = Seconds([&] { opened = img.OpenArchive(archive); });
        if (!opened)
            return 1;
        result.Add(QStringLiteral("time"), t);
        result.Add(QStringLiteral("entries"), double(img.directory.size()));
        return errors ? 1 : 0;
    }
    if (!img.OpenArchive(archive))
        return 1;
    if (name == QLatin1String("import")) {
        const QStringList files = ReadList(args.value(1));
        result.Add(QStringLiteral("time"), Seconds([&] { img.ImportFiles(files); }));
    } else if (name == QLatin1String("export")) {
        std::vector<int> all(img.directory.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = int(i);
        result.Add(QStringLiteral("time"), Seconds([&] { img.ExportEntries(args.value(1), all); }));
    } else if (name == QLatin1String("delete")) {
        // `count` entries spread evenly over the directory, as a user's selection might be.
        const int count = args.value(1).toInt();
        const int n = int(img.directory.size());
        std::vector<int> chosen;
        for (int k = 0; k < count && k < n; ++k)
            chosen.push_back(int(qint64(k) * n / count));
        result.Add(QStringLiteral("time"), Seconds([&] { img.DeleteEntries(chosen); }));
    } else if (name == QLatin1String("rebuild")) {
        result.Add(QStringLiteral("time"), Seconds([&] { img.Rebuild(); }));
    } else {
        std::fprintf(stderr, "unknown operation %s\n", qPrintable(name));
        return 2;
    }
    return errors ? 1 : 0;
}

// ostrevale-cli's own code, in this process: the same work as the command, without process start-up.
int CliOperation(const QString &name, Result &result, const QStringList &args)
{
    QStringList arguments{QStringLiteral("ostrevale-cli")};
    if (name == QLatin1String("cli-import"))
        arguments << QStringLiteral("add") << args.value(0) << ReadList(args.value(1));
    else if (name == QLatin1String("cli-diff"))
        arguments << QStringLiteral("diff") << args.value(0) << args.value(1);
    else if (name == QLatin1String("cli-convert"))
        arguments << QStringLiteral("convert") << args.value(0) << args.value(1)
                  << QStringLiteral("--version") << args.value(2) << QStringLiteral("--force");
    else if (name == QLatin1String("cli-add-from"))
        arguments << QStringLiteral("add") << args.value(0) << QStringLiteral("--from") << args.value(1);
    else
        arguments << QStringLiteral("rebuild") << args.value(0);
    // diff's lines are no part of the measurement; its status 1 (different) is the expected outcome.
    const bool diffing = name == QLatin1String("cli-diff");
    if (diffing && !std::freopen("/dev/null", "w", stdout))
        return 1;
    int status = 0;
    result.Add(QStringLiteral("time"), Seconds([&] { status = CommandLine().Run(arguments); }));
    return diffing ? (status == 1 ? 0 : 1) : status;
}

QTableView *Table(const OSTREVALE &w)
{
    return w.findChild<QTableView *>(QStringLiteral("tableView"));
}

// Lets the window draw what is pending, as the event loop would before the next input.
void Settle()
{
    QCoreApplication::processEvents();
}

// The real window, as the user drives it: open the archive, then the command.
int WindowOperation(const QString &name, Result &result, const QStringList &args)
{
    OSTREVALE window;
    // An error box would wait for a click that never comes: it is closed, and the error counted.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->reject();
    });
    boxCloser.start(50);
    window.resize(1000, 700);
    window.show();
    Settle();
    IMGClass *img = window.findChild<IMGClass *>();
    CountErrors(*img);
    const QString archive = args.value(0);
    // The first table the window ever draws loads fonts and fills glyph caches:
    // a cost of starting the program, paid here before the clock runs (except
    // for the table's own measurement, which times that first opening).
    if (name != QLatin1String("window-table")) {
        window.OpenIMGFile(archive);
        Settle();
        window.CloseIMG();
        Settle();
    }

    if (name == QLatin1String("window-open")) {
        result.Add(QStringLiteral("time"), Seconds([&] {
                       window.OpenIMGFile(archive);
                       Settle();
                   }));
    } else if (name == QLatin1String("window-import")) {
        const QStringList files = ReadList(args.value(1));
        double opened = 0, imported = 0;
        result.Add(QStringLiteral("time"), Seconds([&] {
                       opened = Seconds([&] { window.OpenIMGFile(archive); });
                       imported = Seconds([&] { window.ImportFileList(files); });
                       Settle();
                   }));
        result.Add(QStringLiteral("open"), opened);
        result.Add(QStringLiteral("import"), imported);
    } else if (name == QLatin1String("window-rebuild")) {
        result.Add(QStringLiteral("time"), Seconds([&] {
                       window.OpenIMGFile(archive);
                       window.RebuildIMG();
                       Settle();
                   }));
    } else if (name == QLatin1String("window-table")) {
        // The table fed the whole directory, then sorted by each column by a
        // click on its header, then filtered keystroke by keystroke; each step
        // is timed up to the repaint of the view.
        QTableView *table = Table(window);
        QHeaderView *header = table->horizontalHeader();
        QLineEdit *search = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
        const int repeats = args.value(1, QStringLiteral("5")).toInt();
        result.Add(QStringLiteral("feed"), Seconds([&] {
                       window.OpenIMGFile(archive);
                       Settle();
                   }));
        for (int r = 0; r < repeats; ++r) {
            for (int column = 0; column < 4; ++column) {
                header->setSortIndicator(4, Qt::AscendingOrder); // back to directory order
                Settle();
                result.Add(QStringLiteral("sort%1").arg(column), Seconds([&] {
                               header->setSortIndicator(column, Qt::AscendingOrder);
                               table->repaint();
                           }));
                result.Add(QStringLiteral("sortdesc%1").arg(column), Seconds([&] {
                               header->setSortIndicator(column, Qt::DescendingOrder);
                               table->repaint();
                           }));
            }
            // Typing into a table sorted by name, as a user looking for a file might.
            header->setSortIndicator(0, Qt::AscendingOrder);
            Settle();
            const QString word = args.value(2, QStringLiteral("gang1"));
            for (int k = 1; k <= word.size(); ++k)
                result.Add(QStringLiteral("type"), Seconds([&] {
                               search->setText(word.left(k));
                               table->repaint();
                           }));
            for (int k = word.size() - 1; k >= 0; --k)
                result.Add(k == 0 ? QStringLiteral("clear") : QStringLiteral("erase"), Seconds([&] {
                               search->setText(word.left(k));
                               table->repaint();
                           }));
        }
    } else {
        std::fprintf(stderr, "unknown operation %s\n", qPrintable(name));
        return 2;
    }
    return errors ? 1 : 0;
}

} // namespace

namespace {

// Peak resident memory of this process in KiB: the kernel's high-water mark
// of this program's own address space, which begins at exec.
double PeakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

int Finish(Result &result, int status)
{
    result.Add(QStringLiteral("peak_kib"), PeakMemoryKiB());
    return status;
}

} // namespace

int Run(int argc, char **argv)
{
    const QString name = QString::fromLocal8Bit(argv[0]);
    if (name.startsWith(QLatin1String("window-"))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        const QStringList args = app.arguments();
        Result result(args.value(1));
        return Finish(result, WindowOperation(name, result, args.mid(2)));
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    Result result(args.value(1));
    if (name.startsWith(QLatin1String("cli-")))
        return Finish(result, CliOperation(name, result, args.mid(2)));
    return Finish(result, EngineOperation(name, result, args.mid(2)));
}

} // namespace BenchOperations
