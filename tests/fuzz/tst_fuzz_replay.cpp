// Replays the committed fuzz corpus and every input that once broke the engine
// through the same entry function as the fuzzer, under the sanitizers of this build.

#include "FuzzArchive.h"

#include <QDir>
#include <QtTest>

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replays_data();
    void replays();
};

void TestFuzzReplay::replays_data()
{
    QTest::addColumn<QString>("file");
    int rows = 0;
    for (const char *folder : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(OSTREVALE_FUZZ_DIR "/") + QLatin1String(folder));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QTest::newRow(qPrintable(QLatin1String(folder) + '/' + name)) << dir.filePath(name);
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "the corpus is missing");
}

void TestFuzzReplay::replays()
{
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    // A broken promise aborts the process, naming the input in the test log.
    QCOMPARE(FuzzArchiveInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
