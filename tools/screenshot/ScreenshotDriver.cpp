// Drives the real editor window the way a user would and photographs the screen
// with ImageMagick's `import`. Run by tools/screenshot.sh under Xvfb.
//
//   ostrevale_screenshot table    WORKDIR OUTPUT.png   a sorted, filtered archive
//   ostrevale_screenshot progress WORKDIR OUTPUT.png   the progress dialog mid-import

#include "app/OSTREVALE.h"
#include "archive/IMGClass.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QTableView>
#include <QTest>

#include <cstdio>

namespace {

// Names of many shapes: Latin, Chinese, long ones that the table must elide.
QByteArray SampleName(int i)
{
    static const char *const stems[] = {"player", "车辆", "building", "建筑物_北区", "loadscreen", "武器",
                                        "traffic_light", "人物_警察", "hud", "天空"};
    static const char *const suffixes[] = {".dff", ".txd", ".col", ".ifp", ".dat"};
    return QByteArray(stems[i % 10]) + '_' + QByteArray::number(i) + suffixes[(i / 10) % 5];
}

// A version 2 archive of `count` entries; only the directory matters to the table.
bool WriteSampleArchive(const QString &path, int count)
{
    QByteArray header("VER2");
    header.append(QByteArray(4, '\0'));
    WriteUInt32LE(quint32(count), header.data() + 4);
    quint32 offset = 1 + quint32((8 + 32 * qint64(count) + SECTOR_SIZE - 1) / SECTOR_SIZE);
    quint32 seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        IMGDirectoryEntry e;
        e.offset = offset;
        e.size = quint16(1 + (seed >> 16) % 2400);
        SetEntryName(e, SampleName(i));
        QByteArray record(32, '\0');
        EncodeEntry(e, record.data());
        header += record;
        offset += e.size;
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(header) == header.size() &&
           f.resize(qint64(offset) * SECTOR_SIZE);
}

void Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Photograph(const QWidget &window, const QString &output)
{
    QApplication::sync();
    const QRect r = window.frameGeometry();
    const QString crop = QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
    return QProcess::execute(QStringLiteral("import"),
                             {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"), crop,
                              QStringLiteral("+repage"), output}) == 0;
}

void ClickHeader(QTableView *table, int section)
{
    QHeaderView *header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(section) + 20, header->height() / 2));
}

int Table(OSTREVALE &window, const QString &work, const QString &output)
{
    const QString archive = QDir(work).filePath(QStringLiteral("sample.img"));
    if (!WriteSampleArchive(archive, 400))
        return 1;
    window.OpenIMGFile(archive);
    auto *table = window.findChild<QTableView *>(QStringLiteral("tableView"));
    ClickHeader(table, 1); // by size, ascending
    ClickHeader(table, 1); // and again: descending
    auto *search = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    QTest::keyClicks(search, QStringLiteral("txd|"));
    QInputMethodEvent chinese; // Chinese text arrives from the input method, not as key presses
    chinese.setCommitString(QStringLiteral("车辆"));
    QCoreApplication::sendEvent(search, &chinese);
    // Select two rows as a user would, with a click and a Ctrl+click.
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(30, rowHeight * 2 + 5));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(30, rowHeight * 4 + 5));
    Settle(500);
    std::printf("%d of 400 rows shown\n", table->model()->rowCount());
    return Photograph(window, output) ? 0 : 1;
}

int Progress(OSTREVALE &window, const QString &work, const QString &output)
{
    const int count = 3000;
    QDir dir(work);
    dir.mkdir(QStringLiteral("import"));
    QStringList files;
    for (int i = 0; i < count; ++i) {
        // Short names: every one must fit the directory's 23 bytes, or the import stops at it.
        static const char *const stems[] = {"player", "车辆", "hud", "天空", "weapon"};
        const QString name = QString::fromUtf8(stems[i % 5]) + QStringLiteral("_%1.dff").arg(i);
        const QString path = dir.filePath(QStringLiteral("import/") + name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(3000 + i, char(i))) < 0)
            return 1;
        files << path;
    }
    const QString archive = dir.filePath(QStringLiteral("progress.img"));
    auto *img = window.findChild<IMGClass *>();
    if (!img->CreateArchive(archive, 2))
        return 1;
    window.OpenIMGFile(archive);

    int steps = 0;
    bool taken = false;
    QObject::connect(img, &IMGClass::IncreaseProgressBar, &window, [&] {
        if (++steps != count / 2)
            return;
        Settle(500); // the dialog paints itself while the import waits here
        taken = Photograph(window, output);
    });
    window.ImportFileList(files);
    auto *table = window.findChild<QTableView *>(QStringLiteral("tableView"));
    std::printf("%d entries after the import, progress dialog %s\n", table->model()->rowCount(),
                window.findChild<QProgressDialog *>()->isVisible() ? "visible" : "hidden");
    return taken ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s table|progress WORKDIR OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString work = QString::fromLocal8Bit(argv[2]);
    const QString output = QString::fromLocal8Bit(argv[3]);

    OSTREVALE window;
    window.move(0, 0);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Settle(300);
    if (mode == QLatin1String("table"))
        return Table(window, work, output);
    if (mode == QLatin1String("progress"))
        return Progress(window, work, output);
    return 2;
}
