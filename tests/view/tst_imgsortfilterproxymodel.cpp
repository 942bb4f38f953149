#include "ArchiveFixtures.h"

#include "view/IMGSortFilterProxyModel.h"
#include "view/IMGTableModel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QtTest>

using namespace Fixtures;

namespace {

// Entries whose every column has ties, and names that differ in case, in
// UTF-8, in length and not at all, so every comparison path is taken.
std::vector<Record> TieRecords()
{
    const QByteArray names[] = {
        "b.dff", "B.dff", "a.dff", "", "中文.txd", "a.dff", "ab.dff", "Ab.dff", QByteArray("\xff\xfe.dff"),
        "a",     "z.col", "文.txd"};
    std::vector<Record> records;
    quint32 seed = 12345;
    for (int i = 0; i < 60; ++i) {
        seed = seed * 1103515245u + 12345u;
        records.push_back({(seed >> 8) % 7 * 0x20000000u, quint16((seed >> 16) % 4 * 700),
                           names[(seed >> 4) % (sizeof(names) / sizeof(names[0]))]});
    }
    return records;
}

QList<int> SourceRows(const QSortFilterProxyModel &proxy)
{
    QList<int> rows;
    for (int row = 0; row < proxy.rowCount(); ++row)
        rows << proxy.mapToSource(proxy.index(row, 0)).row();
    return rows;
}

// Sets the filter as the window does: setFilterRegExp inside a FilterChange.
void Filter(IMGSortFilterProxyModel &proxy, const QString &pattern)
{
    const QRegExp filter(pattern, Qt::CaseSensitive, QRegExp::RegExp);
    const IMGSortFilterProxyModel::FilterChange change(proxy, filter);
    proxy.setFilterRegExp(filter);
}

} // namespace

class TestIMGSortFilterProxyModel : public QObject
{
    Q_OBJECT

private slots:
    void sortsAndFiltersAsThePlainProxy_data();
    void sortsAndFiltersAsThePlainProxy();
    void clearedFilterKeepsCurrentAndSelection();
};

void TestIMGSortFilterProxyModel::sortsAndFiltersAsThePlainProxy_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<bool>("localeAware");

    const char *columns[] = {"name", "size", "number", "offset"};
    for (int column = 0; column < 4; ++column)
        for (int order : {int(Qt::AscendingOrder), int(Qt::DescendingOrder)})
            QTest::addRow("%s %s", columns[column], order == Qt::AscendingOrder ? "ascending" : "descending")
                << column << order << false << false;
    // Settings the direct comparison does not handle fall back to the plain one.
    QTest::newRow("name, case ignored") << 0 << int(Qt::AscendingOrder) << true << false;
    QTest::newRow("name, by locale") << 0 << int(Qt::DescendingOrder) << false << true;
}

// Every order the window's proxy gives, also after a filter is narrowed,
// widened and cleared, and after a new directory, must be the plain proxy's.
void TestIMGSortFilterProxyModel::sortsAndFiltersAsThePlainProxy()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(bool, caseInsensitive);
    QFETCH(bool, localeAware);

    IMGTableModel model;
    IMGSortFilterProxyModel proxy;
    QSortFilterProxyModel plain;
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetEntries(ToDirectory(TieRecords()));
    for (QSortFilterProxyModel *p : {static_cast<QSortFilterProxyModel *>(&proxy), &plain}) {
        p->setFilterKeyColumn(0);
        p->setSourceModel(&model);
        p->setSortCaseSensitivity(caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
        p->setSortLocaleAware(localeAware);
        p->sort(column, Qt::SortOrder(order));
    }
    QCOMPARE(proxy.rowCount(), 60);
    QCOMPARE(SourceRows(proxy), SourceRows(plain));

    for (const QString &pattern : {QStringLiteral("dff"), QStringLiteral("a"), QString(), QStringLiteral("["),
                                   QString(), QStringLiteral("^$"), QString()}) {
        Filter(proxy, pattern);
        plain.setFilterRegExp(QRegExp(pattern, Qt::CaseSensitive, QRegExp::RegExp));
        QCOMPARE(proxy.filterRegExp(), plain.filterRegExp());
        // Rows that compare equal may stand in another order after the plain
        // proxy's inserts; the keys in each position are the same.
        QCOMPARE(proxy.rowCount(), plain.rowCount());
        for (int row = 0; row < proxy.rowCount(); ++row) {
            const QVariant key = proxy.index(row, column).data();
            const QVariant plainKey = plain.index(row, column).data();
            if (key.type() == QVariant::String)
                QCOMPARE(QString::compare(key.toString(), plainKey.toString(), proxy.sortCaseSensitivity()),
                         0);
            else
                QCOMPARE(key, plainKey);
        }
    }
    // An import hands the table a longer directory: new rows go to their place.
    std::vector<Record> more = TieRecords();
    more.push_back({3, 1, "a.dff"});
    more.push_back({0, 0, ""});
    model.SetEntries(ToDirectory(more));
    QCOMPARE(proxy.rowCount(), 62);
    QCOMPARE(SourceRows(proxy), SourceRows(plain));
}

// Clearing the filter puts every row back in one layout change, without
// losing the current row or a selection made while the filter was on.
void TestIMGSortFilterProxyModel::clearedFilterKeepsCurrentAndSelection()
{
    IMGTableModel model;
    IMGSortFilterProxyModel proxy;
    proxy.setFilterKeyColumn(0);
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetEntries(ToDirectory(TieRecords()));
    proxy.sort(0, Qt::AscendingOrder);
    Filter(proxy, QStringLiteral("txd"));
    QVERIFY(proxy.rowCount() > 1 && proxy.rowCount() < 60);

    QItemSelectionModel selection(&proxy);
    const QModelIndex current = proxy.index(1, 0);
    const int currentSource = proxy.mapToSource(current).row();
    selection.setCurrentIndex(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    qRegisterMetaType<QList<QPersistentModelIndex>>();
    qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
    QSignalSpy inserted(&proxy, &QAbstractItemModel::rowsInserted);
    QSignalSpy layout(&proxy, &QAbstractItemModel::layoutChanged);

    Filter(proxy, QString());

    QCOMPARE(proxy.rowCount(), 60);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(layout.count(), 1);
    QCOMPARE(proxy.mapToSource(selection.currentIndex()).row(), currentSource);
    QCOMPARE(selection.selectedRows().size(), 1);
    QCOMPARE(proxy.mapToSource(selection.selectedRows().value(0)).row(), currentSource);
    for (int row = 1; row < proxy.rowCount(); ++row)
        QVERIFY(proxy.index(row - 1, 0).data().toString() <= proxy.index(row, 0).data().toString());
}

QTEST_GUILESS_MAIN(TestIMGSortFilterProxyModel)
#include "tst_imgsortfilterproxymodel.moc"
