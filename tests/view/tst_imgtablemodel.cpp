#include "ArchiveFixtures.h"

#include "archive/format/EntryOrder.h"
#include "view/IMGTableModel.h"

#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QtTest>

using namespace Fixtures;

namespace {

// Entries chosen for the edges of every column.
std::vector<Record> EdgeRecords()
{
    return {
        {0, 0, "a.dff"},
        {1, 65535, "big.txd"},
        {0xFFFFFFFFu, 1, "abcdefghijklmnopqrstuvwx"}, // fills the whole field, no zero byte
        {100, 5, QByteArray("中文名.dff")},
        {7, 3, QByteArray("cut\0stale", 9)}, // bytes after the zero are not part of the name
    };
}

QStringList VisibleColumn(const QAbstractItemModel &model, int column)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.index(row, column).data().toString();
    return out;
}

// The proxy as the window sets it up: filter on the name column, everything else default.
struct Table
{
    explicit Table(const std::vector<Record> &records)
    {
        proxy.setFilterKeyColumn(0);
        proxy.setSourceModel(&model);
        model.SetEntries(ToDirectory(records));
    }
    void Filter(const QString &pattern)
    {
        proxy.setFilterRegExp(QRegExp(pattern, Qt::CaseSensitive, QRegExp::RegExp));
    }

    IMGTableModel model;
    QSortFilterProxyModel proxy;
};

} // namespace

class TestIMGTableModel : public QObject
{
    Q_OBJECT

private slots:
    void data_data();
    void data();
    void headers_data();
    void headers();
    void flagsAndEditing();
    void emptyDirectory();
    void passesModelTesterAcrossResets();

    void filter_data();
    void filter();
    void sort_data();
    void sort();
    void numberColumnStaysTheModelRow();
    void newDirectoryKeepsSortAndFilter();
};

void TestIMGTableModel::data_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int display = Qt::DisplayRole;
    const int align = Qt::TextAlignmentRole;
    QTest::newRow("name") << 0 << 0 << display << QVariant(QStringLiteral("a.dff"));
    QTest::newRow("name of 24 bytes")
        << 2 << 0 << display << QVariant(QStringLiteral("abcdefghijklmnopqrstuvwx"));
    QTest::newRow("name in UTF-8") << 3 << 0 << display << QVariant(QStringLiteral("中文名.dff"));
    QTest::newRow("name ends at zero") << 4 << 0 << display << QVariant(QStringLiteral("cut"));
    QTest::newRow("size 0") << 0 << 1 << display << QVariant(qint64(0));
    QTest::newRow("size 65535 sectors") << 1 << 1 << display << QVariant(qint64(131070));
    QTest::newRow("size 5 sectors") << 3 << 1 << display << QVariant(qint64(10));
    QTest::newRow("number") << 3 << 2 << display << QVariant(3);
    QTest::newRow("offset 0") << 0 << 3 << display << QVariant(qint64(0));
    QTest::newRow("offset 1") << 1 << 3 << display << QVariant(qint64(2048));
    QTest::newRow("offset past 4 GiB") << 2 << 3 << display << QVariant(qint64(8796093020160LL));
    QTest::newRow("align name") << 0 << 0 << align << QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    QTest::newRow("align size") << 0 << 1 << align << QVariant(int(Qt::AlignCenter));
    QTest::newRow("align number") << 0 << 2 << align << QVariant(int(Qt::AlignCenter));
    QTest::newRow("align offset") << 0 << 3 << align << QVariant(int(Qt::AlignCenter));
    QTest::newRow("edit role") << 0 << 0 << int(Qt::EditRole) << QVariant();
    QTest::newRow("tool tip") << 0 << 0 << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("font") << 0 << 1 << int(Qt::FontRole) << QVariant();
    QTest::newRow("decoration") << 0 << 0 << int(Qt::DecorationRole) << QVariant();
}

void TestIMGTableModel::data()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    IMGTableModel model;
    model.SetEntries(ToDirectory(EdgeRecords()));
    const QVariant value = model.index(row, column).data(role);
    // Types matter: numbers must reach the delegate and the proxy as numbers.
    QCOMPARE(value.userType(), expected.userType());
    QCOMPARE(value, expected);
}

void TestIMGTableModel::headers_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int h = Qt::Horizontal;
    QTest::newRow("0") << 0 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("文件名"));
    QTest::newRow("1") << 1 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("大小(KB)"));
    QTest::newRow("2") << 2 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("序号"));
    QTest::newRow("3") << 3 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("偏移量"));
    QTest::newRow("past the last") << 4 << h << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("vertical") << 0 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("initial sort order") << 1 << h << int(Qt::InitialSortOrderRole) << QVariant();
    QTest::newRow("alignment") << 0 << h << int(Qt::TextAlignmentRole) << QVariant();
}

void TestIMGTableModel::headers()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    IMGTableModel model;
    model.SetEntries(ToDirectory(EdgeRecords()));
    QCOMPARE(model.headerData(section, Qt::Orientation(orientation), role), expected);
}

void TestIMGTableModel::flagsAndEditing()
{
    IMGTableModel model;
    model.SetEntries(ToDirectory(EdgeRecords()));
    for (int column = 0; column < 4; ++column) {
        const QModelIndex index = model.index(1, column);
        QCOMPARE(model.flags(index), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
        QVERIFY(!model.setData(index, QStringLiteral("x"), Qt::EditRole));
    }
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("big.txd"));
    // Cells have no children of their own.
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QCOMPARE(model.columnCount(model.index(0, 0)), 0);
    QVERIFY(!model.index(0, 0, model.index(1, 0)).isValid());
}

void TestIMGTableModel::emptyDirectory()
{
    IMGTableModel model;
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 4);
    model.SetEntries(ToDirectory(EdgeRecords()));
    model.SetEntries({});
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("偏移量"));
}

void TestIMGTableModel::passesModelTesterAcrossResets()
{
    Table table(EdgeRecords());
    QAbstractItemModelTester modelTester(&table.model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&table.proxy,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    table.proxy.sort(1, Qt::DescendingOrder);
    table.Filter(QStringLiteral("d"));
    table.model.SetEntries({});
    table.model.SetEntries(ToDirectory(EdgeRecords()));
    QCOMPARE(table.proxy.rowCount(), 4); // every name but "cut" has a d
}

void TestIMGTableModel::filter_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty shows all") << QString()
                                     << QStringList{"abc.dff", "ABC.DFF", "modeltxd.dff", "a.txd",
                                                    "x[1].col"};
    QTest::newRow("inside the name") << "dff" << QStringList{"abc.dff", "modeltxd.dff"};
    QTest::newRow("case-sensitive") << "DFF" << QStringList{"ABC.DFF"};
    QTest::newRow("dot is any char") << ".txd" << QStringList{"modeltxd.dff", "a.txd"};
    QTest::newRow("anchor") << "^a" << QStringList{"abc.dff", "a.txd"};
    QTest::newRow("escaped bracket") << "\\[1\\]" << QStringList{"x[1].col"};
    QTest::newRow("invalid pattern shows nothing") << "[" << QStringList();
    QTest::newRow("unclosed group shows nothing") << "(abc" << QStringList();
}

void TestIMGTableModel::filter()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);

    Table table(
        {{1, 1, "abc.dff"}, {2, 1, "ABC.DFF"}, {3, 1, "modeltxd.dff"}, {4, 1, "a.txd"}, {5, 1, "x[1].col"}});
    table.Filter(QStringLiteral("zzz"));
    table.Filter(pattern);
    QCOMPARE(VisibleColumn(table.proxy, 0), expected);
}

void TestIMGTableModel::sort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expected");

    const int asc = Qt::AscendingOrder;
    const int desc = Qt::DescendingOrder;
    // Directory: b.dff 90 KB, a.dff 10 KB, A.dff 10 KB, c.dff 10 KB, Z.txd 100 KB;
    // offsets 18432, 20480, 4096, 2048, 2048000.
    QTest::newRow("name, upper case first")
        << 0 << asc << QStringList{"A.dff", "Z.txd", "a.dff", "b.dff", "c.dff"};
    QTest::newRow("name descending") << 0 << desc << QStringList{"c.dff", "b.dff", "a.dff", "Z.txd", "A.dff"};
    QTest::newRow("size numeric, equal keys keep directory order")
        << 1 << asc << QStringList{"a.dff", "A.dff", "c.dff", "b.dff", "Z.txd"};
    QTest::newRow("size descending, equal keys keep directory order")
        << 1 << desc << QStringList{"Z.txd", "b.dff", "a.dff", "A.dff", "c.dff"};
    QTest::newRow("number") << 2 << asc << QStringList{"b.dff", "a.dff", "A.dff", "c.dff", "Z.txd"};
    QTest::newRow("number descending")
        << 2 << desc << QStringList{"Z.txd", "c.dff", "A.dff", "a.dff", "b.dff"};
    QTest::newRow("offset numeric") << 3 << asc << QStringList{"c.dff", "A.dff", "b.dff", "a.dff", "Z.txd"};
    QTest::newRow("column past the last keeps directory order")
        << 4 << asc << QStringList{"b.dff", "a.dff", "A.dff", "c.dff", "Z.txd"};
}

void TestIMGTableModel::sort()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, expected);

    // Sizes and offsets chosen so that comparing their texts would give another order.
    const std::vector<Record> records = {
        {9, 45, "b.dff"}, {10, 5, "a.dff"}, {2, 5, "A.dff"}, {1, 5, "c.dff"}, {1000, 50, "Z.txd"}};
    Table table(records);
    table.proxy.sort(1, Qt::DescendingOrder); // a previous sort must not matter
    table.proxy.sort(column, Qt::SortOrder(order));
    QCOMPARE(VisibleColumn(table.proxy, 0), expected);

    // The command line's --sort orders by the same definition.
    if (order == Qt::AscendingOrder && column < EntryOrder::ColumnCount) {
        const std::vector<IMGDirectoryEntryWrap> directory = ToDirectory(records);
        std::vector<int> rows = {0, 1, 2, 3, 4};
        EntryOrder::Sort(directory, rows, EntryOrder::Column(column));
        QStringList names;
        for (int row : rows)
            names << EntryName(directory[size_t(row)].entry);
        QCOMPARE(names, expected);
    }
}

void TestIMGTableModel::numberColumnStaysTheModelRow()
{
    std::vector<Record> records;
    for (int i = 0; i < 8; ++i)
        records.push_back(
            {quint32(100 - i), quint16(i % 3), QByteArray("e") + QByteArray::number(i) + ".dff"});
    Table table(records);
    table.proxy.sort(3, Qt::AscendingOrder);
    table.Filter(QStringLiteral("[5-7]"));
    QCOMPARE(VisibleColumn(table.proxy, 0), (QStringList{"e7.dff", "e6.dff", "e5.dff"}));
    QCOMPARE(VisibleColumn(table.proxy, 2), (QStringList{"7", "6", "5"}));
    for (int row = 0; row < table.proxy.rowCount(); ++row)
        QCOMPARE(table.proxy.mapToSource(table.proxy.index(row, 0)).row(),
                 table.proxy.index(row, 2).data().toInt());
}

void TestIMGTableModel::newDirectoryKeepsSortAndFilter()
{
    Table table({{1, 2, "b.txd"}, {2, 1, "a.dff"}});
    table.proxy.sort(1, Qt::AscendingOrder);
    table.Filter(QStringLiteral("txd"));
    QCOMPARE(VisibleColumn(table.proxy, 0), QStringList{"b.txd"});
    // An import appends entries: only matching ones appear, at their sorted place.
    table.model.SetEntries(ToDirectory({{1, 2, "b.txd"}, {2, 1, "a.dff"}, {3, 1, "c.txd"}, {4, 9, "d.dff"}}));
    QCOMPARE(VisibleColumn(table.proxy, 0), (QStringList{"c.txd", "b.txd"}));
}

QTEST_GUILESS_MAIN(TestIMGTableModel)
#include "tst_imgtablemodel.moc"
