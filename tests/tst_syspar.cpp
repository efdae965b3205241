#include "views/syspar.h"

#include <QtTest>

class TestSysPar : public QObject
{
    Q_OBJECT

private slots:
    void readSection_data();
    void readSection();
    void axisName_data();
    void axisName();
    void rowLabels_data();
    void rowLabels();
    void emptyTextChangesNothing();
};

void TestSysPar::readSection_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("up to the next header") << "[TYPEx]\n1\n2\n[CHNx]\n1\n1"
                                           << "[TYPEx]" << QStringList{"1", "2"};
    QTest::newRow("last section ends with the text") << "[TYPEx]\n1\n[CHNx]\n1\n2"
                                                     << "[CHNx]" << QStringList{"1", "2"};
    QTest::newRow("final line break adds an empty row") << "[TYPEx]\n1\n[CHNx]\n1\n2\n"
                                                        << "[CHNx]" << QStringList{"1", "2", ""};
    QTest::newRow("header ending the text") << "[SETx]\n0\n[CHNx]"
                                            << "[CHNx]" << QStringList{};
    QTest::newRow("blank line before the next header is a row") << "[SETx]\n00000010\n\n[CHNx]\n1"
                                                                << "[SETx]" << QStringList{"00000010", ""};
    QTest::newRow("rows are verbatim") << "[A]\n 1 \n\t2;x\n[B]"
                                       << "[A]" << QStringList{" 1 ", "\t2;x"};
    QTest::newRow("lower-case header found") << "[spstc]\n1\n"
                                             << "[SPSTc]" << QStringList{"1", ""};
    QTest::newRow("other suffix not found") << "[SPSTs]\n1\n2"
                                            << "[SPSTc]" << QStringList{};
    QTest::newRow("absent key") << "[SETx]\n1"
                                << "[TYPEx]" << QStringList{};
    QTest::newRow("comment after the header reads empty") << "[SETx] ;axes\n00000000\n00000001\n[CHNx]\n1"
                                                          << "[SETx]" << QStringList{};
    QTest::newRow("first whole-word occurrence wins") << "A[SETx]\n9\n[SETx]\n1\n[SETx]\n2"
                                                      << "[SETx]" << QStringList{"1"};
    QTest::newRow("letter after the key is no match") << "[SETx]x\n9\n[SETx]\n1"
                                                      << "[SETx]" << QStringList{"1"};
    QTest::newRow("crlf and cr breaks") << "[A]\r\n1\r2\r\n\r\n[B]\r\n3"
                                        << "[A]" << QStringList{"1", "2", ""};
    QTest::newRow("empty key") << "[A]\n1"
                               << "" << QStringList{};
}

void TestSysPar::readSection()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QStringList, rows);
    QCOMPARE(SysPar::readSection(text, key), rows);
}

void TestSysPar::axisName_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("name");
    const QList<QPair<const char *, const char *>> cases{
        {"1", "X"},    {"2", "Y"},    {"3", "Z"},    {"9", "W"},   {"103", "X3"}, {"101", "X1"},
        {"109", "X9"}, {"0", ""},     {"abc", ""},   {"", ""},     {"100", ""},   {"-1", ""},
        {"50", ""},    {"166", "XB"}, {"203", "Y3"}, {"1000", ""}, {"1 ;x", ""},
    };
    for (const auto &c : cases)
        QTest::newRow(c.first) << QString::fromLatin1(c.first) << QString::fromLatin1(c.second);
}

void TestSysPar::axisName()
{
    QFETCH(QString, row);
    QFETCH(QString, name);
    QCOMPARE(SysPar::axisName(row), name);
}

void TestSysPar::rowLabels_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<QStringList>("axes");
    QTest::addColumn<QStringList>("spindles");

    QTest::newRow("one channel") << "[SPSTc]\n00000001\n[SSPNn]\n7\n[TYPEx]\n1\n3\n[END]" << true
                                 << QStringList{" "} << QStringList{"X", "Z"} << QStringList{"1"};
    QTest::newRow("one channel caps spindles at four")
        << "[SPSTc]\n0\n[SSPNn]\n1\n1\n1\n1\n1\n1\n[TYPEx]\n1\n[END]" << true << QStringList{" "}
        << QStringList{"X"} << QStringList{"1", "2", "3", "4"};
    QTest::newRow("one channel names every type row")
        << "[SPSTc]\n0\n[SSPNn]\n1\n[TYPEx]\n1\n2\n3\n103\n0\nabc\n[END]" << true << QStringList{" "}
        << QStringList{"X", "Y", "Z", "X3", "", ""} << QStringList{"1"};
    QTest::newRow("three channels")
        << "[SPSTc]\n0\n0\n0\n[CHNs]\n1\n3\n[TYPEx]\n1\n3\n1\n[CHNx]\n1\n1\n2\n[END]" << true
        << QStringList{":1", ":2", ":3"} << QStringList{"X:1", "Z:1", "X:2"} << QStringList{"1:1", "2:3"};
    QTest::newRow("axis without a type row")
        << "[SPSTc]\n0\n0\n[CHNs]\n1\n[TYPEx]\n1\n[CHNx]\n1\n2\n[END]" << true << QStringList{":1", ":2"}
        << QStringList{"X:1", ":2"} << QStringList{"1:1"};
    QTest::newRow("no axis sections")
        << "[SPSTc]\n0\n[SSPNn]\n1" << true << QStringList{" "} << QStringList{} << QStringList{"1"};
    QTest::newRow("no channel section")
        << "[SSPNn]\n1\n[TYPEx]\n1" << false << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("one channel without spindle section")
        << "[SPSTc]\n0\n[TYPEx]\n1\n[CHNs]\n1" << false << QStringList{" "} << QStringList{} << QStringList{};
    QTest::newRow("several channels without spindle channels")
        << "[SPSTc]\n0\n0\n[SSPNn]\n1\n[TYPEx]\n1" << false << QStringList{":1", ":2"} << QStringList{}
        << QStringList{};
}

void TestSysPar::rowLabels()
{
    QFETCH(QString, text);
    QFETCH(bool, complete);
    QFETCH(QStringList, channels);
    QFETCH(QStringList, axes);
    QFETCH(QStringList, spindles);
    SysPar::RowLabels labels;
    labels.axes = QStringList{"old"};
    QCOMPARE(SysPar::rebuildRowLabels(text, &labels), complete);
    QCOMPARE(labels.channels, channels);
    QCOMPARE(labels.axes, axes);
    QCOMPARE(labels.spindles, spindles);
}

void TestSysPar::emptyTextChangesNothing()
{
    SysPar::RowLabels labels;
    labels.channels = QStringList{" "};
    labels.axes = QStringList{"X", "Z"};
    labels.spindles = QStringList{"1"};
    QVERIFY(!SysPar::rebuildRowLabels(QString(), &labels));
    QCOMPARE(labels.axes, (QStringList{"X", "Z"}));
    QCOMPARE(labels.channels, QStringList{" "});
    QCOMPARE(labels.spindles, QStringList{"1"});
}

QTEST_APPLESS_MAIN(TestSysPar)
#include "tst_syspar.moc"
