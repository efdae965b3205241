#include "views/prgtextedit.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

namespace {

// A block's colours read back as "class:text" runs, e.g. "3:G01|1: X|0:1";
// a colour that is no class's shows as "?".
QString blockRuns(const QTextBlock &block)
{
    QStringList parts;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QColor colour = it.fragment().charFormat().foreground().color();
        QString cls = QStringLiteral("?:");
        for (int c = 0; c < ProgramWords::ClassCount; ++c) {
            if (PrgTextEdit::classColour(ProgramWords::Class(c)) == colour)
                cls = QStringLiteral("%1:").arg(c);
        }
        if (parts.isEmpty() || !parts.last().startsWith(cls))
            parts << cls;
        parts.last() += it.fragment().text();
    }
    return parts.join(QLatin1Char('|'));
}

// The colours the view shows for a line, in the same form.
QString shownRuns(const QTextBlock &block)
{
    QStringList parts;
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        int cls = -1;
        for (int c = 0; c < ProgramWords::ClassCount; ++c) {
            if (PrgTextEdit::classColour(ProgramWords::Class(c)) == range.format.foreground().color())
                cls = c;
        }
        parts << QStringLiteral("%1:%2").arg(cls).arg(block.text().mid(range.start, range.length));
    }
    return parts.join(QLatin1Char('|'));
}

QString program(int lines)
{
    QString text;
    for (int i = 1; i <= lines; ++i)
        text += QStringLiteral("N%1G01X%2Y-%3F300\n").arg(i).arg(i * 0.5).arg(i);
    return text;
}

} // namespace

class TestPrgTextEdit : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void undoRedoWalkTheHistory();
    void onlyTheCursorLineIsRebuilt();
    void formatAll_data();
    void formatAll();
    void largeProgramScrolls();
    void coloursAsShown();
};

void TestPrgTextEdit::typing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("keys"); // "\b" is Backspace
    QTest::addColumn<QString>("runs");
    QTest::addColumn<int>("cursorAfter");

    const auto row = [](const char *name, const char *start, int cursor, const char *keys, const char *runs,
                        int cursorAfter) {
        QTest::newRow(name) << QString(start) << cursor << QString(keys) << QString(runs) << cursorAfter;
    };
    row("letter after number gets its space", "G01", 3, "X", "3:G01|1: X", 5);
    row("typed space disappears", "G01 X1", 6, " ", "3:G01|1: X|0:1", 6);
    row("wanted space comes back", "G01 X1", 4, "\b", "3:G01|1: X|0:1", 4);
    row("space typed inside a word", "G01 X100", 7, " ", "3:G01|1: X|0:100", 7);
    row("whole block typed", "", 0, "G01X100.5Y-20F300", "3:G01|1: X|0:100.5|1: Y|0:-20|5: F300", 20);
    row("value after a letter turns white", "G01 X", 5, "5", "3:G01|1: X|0:5", 6);
}

void TestPrgTextEdit::typing()
{
    QFETCH(QString, start);
    QFETCH(int, cursor);
    QFETCH(QString, keys);
    QFETCH(QString, runs);
    QFETCH(int, cursorAfter);

    PrgTextEdit edit;
    edit.setPlainText(start);
    QTextCursor c = edit.textCursor();
    c.setPosition(cursor);
    edit.setTextCursor(c);
    QTest::keyClicks(&edit, keys);
    QCOMPARE(blockRuns(edit.document()->firstBlock()), runs);
    QCOMPARE(edit.textCursor().position(), cursorAfter);
    QVERIFY(!edit.textCursor().hasSelection());
}

// Undo and redo walk the history instead of being rebuilt at once, which would
// start a new history at every step.
void TestPrgTextEdit::undoRedoWalkTheHistory()
{
    PrgTextEdit edit;
    edit.setPlainText(QStringLiteral("G01"));
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("X1"));
    for (int i = 0; i < 10 && edit.document()->isUndoAvailable(); ++i)
        edit.undo();
    QCOMPARE(edit.toPlainText(), QString("G01"));
    while (edit.document()->isRedoAvailable())
        edit.redo();
    QCOMPARE(blockRuns(edit.document()->firstBlock()), QString("3:G01|1: X|0:1"));
    edit.undo();
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("M"));
    QVERIFY(edit.toPlainText().endsWith(QLatin1String(" M")));
}

// Enter, a paste of several lines and a text put in whole rebuild only the
// line the cursor ends on.
void TestPrgTextEdit::onlyTheCursorLineIsRebuilt()
{
    PrgTextEdit edit;
    edit.setText(QStringLiteral("O1G01\nG01X1"));
    QCOMPARE(edit.toPlainText(), QString("O1 G01\nG01X1"));
    edit.moveCursor(QTextCursor::End);
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(edit.toPlainText(), QString("O1 G01\nG01X1\n"));
    edit.insertPlainText(QStringLiteral("G02X2\nG03X3"));
    QCOMPARE(edit.toPlainText(), QString("O1 G01\nG01X1\nG02X2\nG03 X3"));
    QCOMPARE(edit.textCursor().position(), edit.toPlainText().size());
}

void TestPrgTextEdit::formatAll_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("formatted");
    const auto row = [](const char *name, const char *text, const char *formatted) {
        QTest::newRow(name) << QString(text) << QString(formatted);
    };
    row("two lines", "O0001\nG01X1", "O0001\nG01 X1\n");
    row("final line feed kept", "O0001\nG01X1\n", "O0001\nG01 X1\n");
    row("empty and blank lines kept", "M03S800\n \t\n\nM30\n\n", "M03 S800\n\n\nM30\n\n");
    row("empty", "", "\n");
    row("windows line ends", "G01X1\r\nM30\r\n", "G01 X1\nM30\n");
}

void TestPrgTextEdit::formatAll()
{
    QFETCH(QString, text);
    QFETCH(QString, formatted);
    PrgTextEdit edit;
    edit.setPlainText(text);
    for (int pass = 0; pass < 2; ++pass) {
        edit.formatAll();
        QCOMPARE(edit.toPlainText(), formatted);
        QCOMPARE(edit.textCursor().position(), formatted.size());
    }
    for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next())
        QVERIFY2(!blockRuns(block).contains(QLatin1Char('?')), qPrintable(blockRuns(block)));
}

// A large program put in whole and edited at once near its top is still laid
// out to its end; rebuilt whole, it stays scrolled where it was.
void TestPrgTextEdit::largeProgramScrolls()
{
    PrgTextEdit edit;
    edit.setLineWrapMode(QTextEdit::NoWrap);
    edit.resize(400, 300);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setText(program(10000));
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClicks(&edit, QStringLiteral("M08"));
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    QTRY_COMPARE(edit.cursorForPosition(QPoint(0, edit.viewport()->height() - 10)).blockNumber(), 10000);

    QScrollBar *bar = edit.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int value = bar->value();
    QTRY_VERIFY(edit.cursorForPosition(QPoint(0, 0)).blockNumber() > 3000);
    const int topLine = edit.cursorForPosition(QPoint(0, 0)).blockNumber();
    edit.formatAll();
    QCOMPARE(bar->value(), value);
    // Laid out to its end and drawn anew.
    edit.document()->documentLayout()->blockBoundingRect(edit.document()->lastBlock());
    edit.viewport()->repaint();
    QCOMPARE(bar->value(), value);
    QCOMPARE(edit.cursorForPosition(QPoint(0, 0)).blockNumber(), topLine);
    QCOMPARE(edit.document()->findBlockByNumber(topLine).text(),
             QStringLiteral("N%1 G01 X%2 Y-%1 F300").arg(topLine + 1).arg((topLine + 1) * 0.5));
}

// A program put in whole, as the program page previews it, is shown coloured
// as it stands, its lines coloured as they come into view; painting rebuilds
// nothing. A line typed in is coloured at once.
void TestPrgTextEdit::coloursAsShown()
{
    PrgTextEdit edit;
    edit.resize(400, 300);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    const QString text = QStringLiteral("G01X1 (A B)\n") + program(20000);
    {
        const QSignalBlocker quiet(&edit);
        edit.setPlainText(text);
    }
    edit.viewport()->repaint();
    const QTextDocument *doc = edit.document();
    QCOMPARE(shownRuns(doc->firstBlock()), QString("3:G01|1:X|0:1|2: (A B)"));
    QCOMPARE(shownRuns(doc->findBlockByNumber(15000)), QString());

    QScrollBar *bar = edit.verticalScrollBar();
    bar->setValue(bar->maximum());
    edit.viewport()->repaint();
    const QTextBlock last = doc->findBlockByNumber(20000);
    QCOMPARE(shownRuns(last), QString("1:N|0:20000|3:G01|1:X|0:10000|1:Y|0:-20000|5:F300"));
    QCOMPARE(edit.toPlainText(), text);

    QTextCursor cursor(last);
    cursor.movePosition(QTextCursor::EndOfBlock);
    edit.setTextCursor(cursor);
    QTest::keyClicks(&edit, QStringLiteral("M08"));
    QCOMPARE(last.text(), QStringLiteral("N20000 G01 X10000 Y-20000 F300 M08"));
    QVERIFY2(shownRuns(last).endsWith(QLatin1String("|4: M08")), qPrintable(shownRuns(last)));
}

QTEST_MAIN(TestPrgTextEdit)
#include "tst_prgtextedit.moc"
