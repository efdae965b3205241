// Cost of the program editor on realistic programs: rebuilding every line of
// the ten-thousand-line sample against putting the same text into a bare text
// editor, putting a program in for preview, and one keystroke on a short and
// on a very long program.
#include "views/prgtextedit.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include <memory>

namespace {

QString largeSample()
{
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/O5000.txt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return QString::fromLatin1(file.readAll());
}

// Both editors as the program page shows them: the same font, no wrapping.
template<typename Edit> void setUp(Edit &edit)
{
    edit.setStyleSheet(QStringLiteral("font: 20pt \"微软雅黑\";\ncolor: rgba(255, 255, 255, 255);\n"
                                      "background-color: rgba(0, 0, 0, 255);"));
    edit.setLineWrapMode(QTextEdit::NoWrap);
    edit.resize(600, 500);
    edit.show();
    if (!QTest::qWaitForWindowExposed(&edit))
        qFatal("editor not shown");
}

} // namespace

class BenchPrgTextEdit : public QObject
{
    Q_OBJECT

private slots:
    void bareSetPlainText();
    void formatAll();
    void formatAllScrolledToMiddle();
    void preview();
    void keystroke_data();
    void keystroke();
};

void BenchPrgTextEdit::bareSetPlainText()
{
    const QString text = largeSample();
    QTextEdit edit;
    setUp(edit);
    QBENCHMARK
    {
        edit.setPlainText(text);
    }
    QCOMPARE(edit.document()->blockCount(), text.count(QLatin1Char('\n')) + 1);
}

void BenchPrgTextEdit::formatAll()
{
    const QString text = largeSample();
    PrgTextEdit edit;
    setUp(edit);
    edit.setPlainText(text);
    QBENCHMARK
    {
        edit.formatAll();
    }
    QCOMPARE(edit.document()->blockCount(), text.count(QLatin1Char('\n')) + 1);
}

// The lines up to the view have to be laid out again before the view can
// scroll back.
void BenchPrgTextEdit::formatAllScrolledToMiddle()
{
    const QString text = largeSample();
    PrgTextEdit edit;
    setUp(edit);
    edit.setPlainText(text);
    QScrollBar *bar = edit.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int value = bar->value();
    QBENCHMARK
    {
        edit.formatAll();
    }
    QCOMPARE(bar->value(), value);
}

// A program put in for preview: the text, the rebuild of the line under the
// cursor, and the layout of the whole text that editing it needs.
void BenchPrgTextEdit::preview()
{
    const QString text = largeSample();
    PrgTextEdit edit;
    setUp(edit);
    QBENCHMARK
    {
        edit.setPlainText(text);
    }
    QCOMPARE(edit.document()->lastBlock().layout()->lineCount(), 1);
}

void BenchPrgTextEdit::keystroke_data()
{
    QTest::addColumn<bool>("bare");
    QTest::addColumn<int>("lines");
    for (bool bare : {false, true}) {
        for (int lines : {10, 10000, 100000})
            QTest::addRow("%s, %d lines", bare ? "bare text editor" : "program editor", lines)
                << bare << lines;
    }
}

// A digit typed at the end of a line in the middle of the program and taken
// back with Backspace: two keystrokes, each rebuilding its line. The same in
// a bare text editor, whose document layout repositions every line below an
// edited one.
void BenchPrgTextEdit::keystroke()
{
    QFETCH(bool, bare);
    QFETCH(int, lines);
    const QString sample = largeSample();
    QStringList text;
    while (text.size() < lines)
        text += sample.split(QLatin1Char('\n')).mid(14);
    text = text.mid(0, lines);
    std::unique_ptr<QTextEdit> edit(bare ? new QTextEdit : new PrgTextEdit);
    setUp(*edit);
    edit->setPlainText(text.join(QLatin1Char('\n')));
    QTextCursor cursor(edit->document()->findBlockByNumber(edit->document()->blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    edit->setTextCursor(cursor);
    edit->document()->documentLayout()->blockBoundingRect(edit->document()->lastBlock());
    QCoreApplication::processEvents();
    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    const QString line = edit->textCursor().block().text();
    QBENCHMARK
    {
        QTest::keyClick(edit.get(), Qt::Key_5);
        QTest::keyClick(edit.get(), Qt::Key_Backspace);
    }
    QCOMPARE(edit->textCursor().block().text(), line);
}

QTEST_MAIN(BenchPrgTextEdit)
#include "bench_prgtextedit.moc"
