#include "views/programwords.h"

#include <QtTest>

namespace {

// A rebuilt line as "class:text" runs joined by "|", e.g. "3:G01|1: X|0:1".
QString runsText(const ProgramWords::Line &line)
{
    QStringList parts;
    for (const ProgramWords::Run &run : line.runs)
        parts << QStringLiteral("%1:%2").arg(int(run.wordClass)).arg(line.text.mid(run.start, run.length));
    return parts.join(QLatin1Char('|'));
}

// The class of every character other than white space, one digit each; "?"
// where the runs leave a gap or overlap.
QString classDigits(const QString &text, const QVector<ProgramWords::Run> &runs)
{
    QString digits;
    int next = 0;
    for (const ProgramWords::Run &run : runs) {
        if (run.start != next)
            return QStringLiteral("?");
        for (int i = run.start; i < run.start + run.length; ++i) {
            if (!text.at(i).isSpace())
                digits += QChar('0' + run.wordClass);
        }
        next = run.start + run.length;
    }
    return next == text.size() ? digits : QStringLiteral("?");
}

} // namespace

class TestProgramWords : public QObject
{
    Q_OBJECT

private slots:
    void rebuildLine_data();
    void rebuildLine();
};

void TestProgramWords::rebuildLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("runs");
    const auto row = [](const char *name, const QString &typed, const char *runs) {
        QTest::newRow(name) << typed << QString::fromLatin1(runs);
    };
    // Class numbers: 0 plain, 1 letter word, 2 comment, 3 G, 4 M, 5 F and S, 6 T.
    row("motion block", "G01X100.5Y-20F300", "3:G01|1: X|0:100.5|1: Y|0:-20|5: F300");
    row("sequence number", "N10G01", "1:N|0:10|3: G01");
    row("letter run keeps its number", "GOTO10", "1:GOTO|0:10");
    row("feed and speed share a class", "F100S500", "5:F100S500");
    row("tool and miscellaneous", "T0101M06", "6:T0101|4: M06");
    row("comment loses its spaces", "G00(RAPID MOVE)", "3:G00|2: (RAPIDMOVE)");
    row("comment swallows codes", "(G01X1)M30", "2:(G01X1)M30");
    row("slash comment", "X1//END", "1:X|0:1|2: //END");
    row("no space after a letter word", "X//A", "1:X|2://A");
    row("single slash", "X1/2", "1:X|0:1/2");
    row("bracket after address", "G[#1]", "3:G[#1]");
    row("program name", "O0001", "1:O|0:0001");
    row("lower case untouched", "g01x5", "0:g01x5");
    row("lower case before a word", "x1G01", "0:x1|3: G01");
    row("white space dropped", QString::fromUtf8("  G01 \t X1\u00A0\r"), "3:G01|1: X|0:1");
    row("letter at end of line", "G01X", "3:G01|1: X");
    row("address without number", "GX1", "1:GX|0:1");
}

void TestProgramWords::rebuildLine()
{
    QFETCH(QString, typed);
    QFETCH(QString, runs);
    const ProgramWords::Line line = ProgramWords::rebuildLine(typed);
    QCOMPARE(runsText(line), runs);
    QCOMPARE(ProgramWords::rebuildLine(line.text), line);
    // Colouring the line as typed gives each character the class the rebuild gives it.
    QCOMPARE(classDigits(typed, ProgramWords::typedRuns(typed)), classDigits(line.text, line.runs));
}

QTEST_APPLESS_MAIN(TestProgramWords)
#include "tst_programwords.moc"
