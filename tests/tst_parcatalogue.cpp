#include "views/parcatalogue.h"

#include <QRegularExpression>
#include <QtTest>

using ParCatalogue::Entry;

namespace {

QList<Entry> allEntries()
{
    QList<Entry> entries;
    for (const ParCatalogue::Group &group : ParCatalogue::groups()) {
        for (const Entry &entry : group.entries)
            entries.append(entry);
    }
    return entries;
}

const Entry *entryNumbered(int number)
{
    for (const ParCatalogue::Group &group : ParCatalogue::groups()) {
        for (const Entry &entry : group.entries) {
            if (entry.number == number)
                return &entry;
        }
    }
    return nullptr;
}

QString fallback()
{
    return QString::fromUtf8("该设置未录入，请联系相关人员");
}

} // namespace

class TestParCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void groupSizes();
    void entries();
    void tellingEntries_data();
    void tellingEntries();
    void rowKinds_data();
    void rowKinds();
    void bitMap();
    void explanation_data();
    void explanation();
};

// Group sizes, in order, as the parameter documentation lists them.
void TestParCatalogue::groupSizes()
{
    const QList<int> sizes{29, 15, 14, 9,  5,  11, 16, 106, 26, 15, 13, 7,  20,
                           12, 12, 9,  53, 18, 14, 18, 17,  7,  10, 24, 45, 16};
    QList<int> actual;
    for (const ParCatalogue::Group &group : ParCatalogue::groups())
        actual.append(group.entries.size());
    QCOMPARE(actual, sizes);
    QCOMPARE(ParCatalogue::groups().at(7).name, QString::fromUtf8("主轴"));
    QCOMPARE(allEntries().size(), 541);
}

void TestParCatalogue::entries()
{
    const QRegularExpression titleForm(QString::fromUtf8("^（(\\d{4})([）)])\\S"));
    const QRegularExpression keyForm(QStringLiteral("^\\[[A-Z0-9]+[xcsni]?\\]$"));
    int bitEntries = 0;
    int asciiClosed = 0;
    int previous = 0;
    QMap<QString, int> keyUses;
    for (const Entry &entry : allEntries()) {
        const QRegularExpressionMatch m = titleForm.match(entry.title);
        QVERIFY2(m.hasMatch(), qPrintable(entry.title));
        QCOMPARE(m.captured(1).toInt(), entry.number);
        QVERIFY2(entry.number > previous, qPrintable(entry.title)); // the documentation's order
        previous = entry.number;
        if (m.captured(2) == QLatin1String(")"))
            ++asciiClosed;
        QVERIFY2(keyForm.match(entry.key).hasMatch(), qPrintable(entry.key));
        QVERIFY(entry.columns == 1 || entry.columns == 8);
        if (entry.columns == 8)
            ++bitEntries;
        ++keyUses[entry.key];
    }
    QCOMPARE(bitEntries, 80);
    QCOMPARE(asciiClosed, 28);
    QCOMPARE(keyUses.size(), 540);
    keyUses.remove(QStringLiteral("[MCSTc]"));
    QCOMPARE(*std::max_element(keyUses.cbegin(), keyUses.cend()), 1);
}

void TestParCatalogue::tellingEntries_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("columns");
    const struct
    {
        int number;
        const char *title;
        const char *key;
        const char *rows;
        int columns;
    } table[] = {
        {1, "（0001）各轴相关设置", "[SETx]", "轴数", 8},
        {10, "（0010）轴所属通道号", "[CHNx]", "轴数", 1},
        {12, "（0012）各轴轴名称", "[TYPEx]", "轴数", 1},
        {201, "（0201）反向间隙补偿/螺距补偿各轴设置", "[CMPSTx]", "轴数", 1},
        {1000, "（1000）主轴相关通道设置 ", "[SPSTc]", "通道数", 8},
        {1010, "（1010）各主轴所属通道号", "[CHNs]", "主轴数", 1},
        {2004, "（2004）操作密码设置", "[OPPSTn]", "1", 8},
        {2035, "（2035）位置界面显示主轴个数", "[SSPNn]", "1", 1},
        {2115, "（2115）ModBus总线相关设置", "[MBSTn]", "1", 8},
        {2610, "（2610）刀具磨损负载学习增加量", "[TLDWV]", "轴数", 1},
        {2720, "（2720)总线 IO 站地址", "[ADDRi]", "未定", 1},
        {3311, "（3311）内置 PLC 复位时关闭输出口", "[FPLROc]", "未定", 8},
        {9020, "（9020）G 代码宏程序调用个数", "[GMCN]", "通道数", 1},
        {5101, "（5101）复合循环相关设置", "[MCSTc]", "通道数", 1},
        {5120, "（5120）复合循环相关设置", "[MCSTc]", "通道数", 8},
    };
    for (const auto &row : table) {
        QTest::newRow(row.key) << row.number << QString::fromUtf8(row.title) << QString::fromLatin1(row.key)
                               << QString::fromUtf8(row.rows) << row.columns;
    }
}

void TestParCatalogue::tellingEntries()
{
    QFETCH(int, number);
    const Entry *entry = entryNumbered(number);
    QVERIFY(entry);
    QTEST(entry->title, "title");
    QTEST(entry->key, "key");
    QTEST(ParCatalogue::rowKindText(entry->rowKind), "rows");
    QTEST(entry->columns, "columns");
}

// The keys whose rows are not headed by their suffix letter, and one plain
// key of each letter.
void TestParCatalogue::rowKinds_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("rows");
    const QList<QPair<const char *, const char *>> cases{
        {"[RIPD]", "轴数"},    {"[CIPD]", "轴数"},    {"[TLDBM]", "轴数"},    {"[TPIP]", "轴数"},
        {"[RPDFLc]", "轴数"},  {"[NCAX]", "通道数"},  {"[GMCP1]", "通道数"},  {"[MSCM5]", "通道数"},
        {"[MMCM9]", "通道数"}, {"[QMCP1]", "通道数"}, {"[SSN1Mn]", "通道数"}, {"[SSN3Sn]", "通道数"},
        {"[IOXWDn]", "未定"},  {"[FPLROc]", "未定"},  {"[THDSTx]", "通道数"}, {"[THDFFRx]", "通道数"},
        {"[RTPSx]", "通道数"}, {"[PLTCx]", "通道数"}, {"[PLFFRx]", "通道数"}, {"[QMCDI0c]", "通道数"},
        {"[RPDFx]", "轴数"},   {"[CHNs]", "主轴数"},  {"[SSPNn]", "1"},       {"[XADi]", "未定"},
    };
    for (const auto &c : cases)
        QTest::newRow(c.first) << QString::fromLatin1(c.first) << QString::fromUtf8(c.second);
}

void TestParCatalogue::rowKinds()
{
    QFETCH(QString, key);
    for (const Entry &entry : allEntries()) {
        if (entry.key == key) {
            QTEST(ParCatalogue::rowKindText(entry.rowKind), "rows");
            return;
        }
    }
    QFAIL("key not in the catalogue");
}

void TestParCatalogue::bitMap()
{
    const ParCatalogue::BitDescriptions map = ParCatalogue::bitDescriptions();
    QCOMPARE(map.size(), 83);
    int texts = 0;
    int empty = 0;
    // Mnemonic, a tab or one or two blanks (or nothing), then "0/1:".
    const QRegularExpression form(QStringLiteral("^[A-Z0-9]+(\\t| {1,2})?0/1:"));
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QVERIFY(it.value().size() <= 8);
        for (const QString &text : it.value()) {
            ++texts;
            if (text.isEmpty())
                ++empty;
            else if (it.key() != QLatin1String("[FPLROc]"))
                QVERIFY2(form.match(text).hasMatch(), qPrintable(it.key() + QLatin1Char(' ') + text));
        }
    }
    QCOMPARE(texts, 350);
    QCOMPARE(empty, 28);

    QStringList bitKeysWithoutList;
    QSet<QString> treeKeys;
    for (const Entry &entry : allEntries()) {
        treeKeys.insert(entry.key);
        if (entry.columns == 8 && !map.contains(entry.key))
            bitKeysWithoutList.append(entry.key);
        if (entry.columns == 1 && map.contains(entry.key) && entry.key != QLatin1String("[MCSTc]"))
            QVERIFY2(entry.key == QLatin1String("[CMPSTx]") || entry.key == QLatin1String("[AVBSx]"),
                     qPrintable(entry.key));
    }
    QCOMPARE(bitKeysWithoutList, (QStringList{"[PCTSTc]", "[TLDSTc]"}));
    QStringList listsWithoutEntry;
    for (const QString &key : map.keys()) {
        if (!treeKeys.contains(key))
            listsWithoutEntry.append(key);
    }
    listsWithoutEntry.sort();
    QCOMPARE(listsWithoutEntry, (QStringList{"[MFSTc]", "[MIISTn]", "[RNSTc]"}));
}

void TestParCatalogue::explanation_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    const QString null = QStringLiteral("NULL");
    QTest::newRow("SETx 7") << "[SETx]" << 7 << QString::fromUtf8("HID\t0/1:坐标轴显示/不显示");
    QTest::newRow("SPSTc 4") << "[SPSTc]" << 4
                             << QString::fromUtf8("CTSA\t0/1:切削加工时，不检测/检测主轴转速到达");
    QTest::newRow("SPSTc 5 past the list") << "[SPSTc]" << 5 << null;
    QTest::newRow("SPSTs 5 second SSPCE")
        << "[SPSTs]" << 5 << QString::fromUtf8("SSPCE 0/1:主轴停止时，模拟量输出不保存/保持");
    QTest::newRow("CMPSTn 0") << "[CMPSTn]" << 0 << QString::fromUtf8("UPMI 0/1:螺纹补偿导入单位为um/mm");
    QTest::newRow("TDI1c 0 is tool 8") << "[TDI1c]" << 0 << QString::fromUtf8("T08C 0/1:T08 为常开/常闭信号");
    QTest::newRow("TDI1c 7 is tool 1") << "[TDI1c]" << 7 << QString::fromUtf8("T01C 0/1:T01 为常开/常闭信号");
    QTest::newRow("TDI2c 4 is tool 12")
        << "[TDI2c]" << 4 << QString::fromUtf8("T12C\t0/1:T12 为常开/常闭信号");
    QTest::newRow("MBSTn 6") << "[MBSTn]" << 6 << QString::fromUtf8("MBNT\t0/1: 使用串口/网口进行Modbus通讯");
    QTest::newRow("FPLROc 5") << "[FPLROc]" << 5
                              << QString::fromUtf8("内置 PLC 复位时不关闭/关闭相应的 1～32");
    QTest::newRow("PCTSTc 0 not in the map") << "[PCTSTc]" << 0 << fallback();
    QTest::newRow("PBSTc 0 empty list") << "[PBSTc]" << 0 << null;
    QTest::newRow("no current column") << "[SETx]" << -1 << null;
}

void TestParCatalogue::explanation()
{
    QFETCH(QString, key);
    QFETCH(int, column);
    const QStringList list = ParCatalogue::descriptionsFor(ParCatalogue::bitDescriptions(), key);
    QTEST(ParCatalogue::explanation(list, column), "text");
}

QTEST_APPLESS_MAIN(TestParCatalogue)
#include "tst_parcatalogue.moc"
