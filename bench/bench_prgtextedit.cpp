// The program editor on a program as large as a controller holds, beside a
// bare QPlainTextEdit holding the same text: the preview (the controller's
// bytes decoded, put in and painted), a keystroke anywhere in it (typed,
// rebuilt and painted), the whole rebuild with its progress, the memory the
// text costs, and FILE's find stepping through the same text.
//
//   bench/bench_prgtextedit [rounds = 5] [bytes = 13000000] [preview | keys | format | find | all = all]
//
// The program is the 10,712-line mill sample (sim/samples/mill/O5000.txt)
// repeated up to the size. The candidates take turns, in an order that rotates
// from round to round; figures are medians over the rounds. Offscreen
// platform; both editors styled and sized as the program page shows them.
#include "bench/benchclock.h"
#include "link/transfercodec.h"
#include "views/fileform.h"
#include "views/prgtextedit.h"
#include "views/programhighlighter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>

namespace {

using BenchClock::median;

QByteArray programBytes(int size)
{
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/O5000.txt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    const QByteArray sample = file.readAll();
    QByteArray bytes;
    bytes.reserve(size + sample.size());
    while (bytes.size() < size)
        bytes += sample;
    bytes.truncate(size);
    bytes[size - 1] = '\n';
    return bytes;
}

double heapMb()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1e6;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1000;
    }
    return -1;
}

double percentile(QVector<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(qMin(v.size() - 1, int(p * v.size())));
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// As the program page shows it: the same style, no wrapping, a page's size.
void setUp(QPlainTextEdit *edit)
{
    edit->setStyleSheet(QStringLiteral("font: 20pt \"微软雅黑\";\ncolor: rgba(255, 255, 255, 255);\n"
                                       "background-color: rgba(0, 0, 0, 255);"));
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->resize(600, 500);
    edit->show();
    if (!QTest::qWaitForWindowExposed(edit))
        qFatal("editor not shown");
}

std::unique_ptr<QPlainTextEdit> makeEditor(bool program)
{
    std::unique_ptr<QPlainTextEdit> edit(program ? new PrgTextEdit : new QPlainTextEdit);
    setUp(edit.get());
    return edit;
}

void putIn(QPlainTextEdit *edit, const QString &text)
{
    if (auto *program = qobject_cast<PrgTextEdit *>(edit))
        program->setPlainText(text);
    else
        edit->setPlainText(text);
}

// True when the first line in view carries the word-class colours.
bool coloured(QPlainTextEdit *edit)
{
    const QTextBlock block = edit->cursorForPosition(QPoint(5, 5)).block();
    return block.layout() && !block.layout()->formats().isEmpty();
}

// The preview: from the bytes the last chunk completed to the first paint of
// the view, which for the program editor includes the colours of the lines in
// view. The bare editor is timed from the decoded text.
void preview(const QByteArray &bytes, int rounds)
{
    std::printf("\n## Preview of %d bytes\n\n", int(bytes.size()));
    QVector<double> decodeMs, programMs, bareMs, programHeap, bareHeap, programRss, bareRss;
    const QString text = TransferCodec::decodeText(bytes);
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool program = (turn + round) % 2 == 0;
            const double heapBefore = heapMb();
            const double rssBefore = residentMb();
            auto edit = makeEditor(program);
            QElapsedTimer clock;
            clock.start();
            if (program) {
                const QString decoded = TransferCodec::decodeText(bytes);
                decodeMs << msSince(clock);
                putIn(edit.get(), decoded);
            } else {
                putIn(edit.get(), text);
            }
            edit->viewport()->repaint();
            const double ms = msSince(clock);
            QCoreApplication::processEvents();
            if (edit->document()->blockCount() != text.count(QLatin1Char('\n')) + 1 ||
                edit->verticalScrollBar()->maximum() < edit->document()->blockCount() - 100 ||
                coloured(edit.get()) != program)
                qFatal("preview incomplete");
            (program ? programMs : bareMs) << ms;
            (program ? programHeap : bareHeap) << heapMb() - heapBefore;
            (program ? programRss : bareRss) << residentMb() - rssBefore;
        }
    }
    const double decode = median(decodeMs);
    const double ours = median(programMs);
    const double bare = median(bareMs);
    std::printf("| | program editor | bare QPlainTextEdit | ratio |\n|---|---|---|---|\n");
    std::printf("| decode, ms | %.0f | | |\n", decode);
    std::printf("| put in and painted, ms | %.0f | %.0f | %.2f |\n", ours - decode, bare,
                (ours - decode) / bare);
    std::printf("| after the last chunk, ms | %.0f | %.0f | %.2f |\n", ours, bare, ours / bare);
    std::printf("| heap held, MB | %.1f | %.1f | %.2f |\n", median(programHeap), median(bareHeap),
                median(programHeap) / median(bareHeap));
    std::printf("| resident growth, MB | %.1f | %.1f | |\n", median(programRss), median(bareRss));
    std::printf("| heap held / text bytes | %.2f | %.2f | |\n", median(programHeap) * 1e6 / bytes.size(),
                median(bareHeap) * 1e6 / bytes.size());
}

// One keystroke: the key handled (typed, and in the program editor the line
// rebuilt and coloured), then the view painted.
struct Stroke
{
    double handled;
    double painted;
};

Stroke keystroke(QPlainTextEdit *edit, int key)
{
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(edit, Qt::Key(key));
    const double handled = msSince(clock);
    edit->viewport()->repaint();
    return {handled, msSince(clock)};
}

// A digit typed at the end of a line and taken back, at lines spread over
// the whole program, the two editors at the same lines in turn. Moving there
// and the paint after it are not timed.
void keystrokes(const QString &text, int rounds)
{
    const int positions = 40 * rounds;
    std::printf("\n## Keystrokes, %d lines spread over the program, a digit and a Backspace each\n\n",
                positions);
    auto ours = makeEditor(true);
    auto bare = makeEditor(false);
    putIn(ours.get(), text);
    putIn(bare.get(), text);
    QRandomGenerator random(22);
    const int lines = ours->document()->blockCount() - 1;
    QVector<double> handled[2], painted[2];
    for (int i = 0; i < positions; ++i) {
        const int line = i % 4 == 0 ? lines - 1 - i : int(random.bounded(lines));
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (turn + i) % 2;
            QPlainTextEdit *edit = which == 0 ? ours.get() : bare.get();
            QTextCursor cursor(edit->document()->findBlockByNumber(line));
            cursor.movePosition(QTextCursor::EndOfBlock);
            edit->setTextCursor(cursor);
            edit->viewport()->repaint();
            QCoreApplication::processEvents();
            const QString before = cursor.block().text();
            for (int key : {int(Qt::Key_5), int(Qt::Key_Backspace)}) {
                const Stroke stroke = keystroke(edit, key);
                handled[which] << stroke.handled;
                painted[which] << stroke.painted;
            }
            QCoreApplication::processEvents();
            if (edit->textCursor().block().text() != ProgramWords::rebuildLine(before).text && which == 0)
                qFatal("keystroke left the line unrebuilt");
        }
    }
    std::printf("| | program editor | bare QPlainTextEdit | ratio |\n|---|---|---|---|\n");
    for (const auto &row :
         {std::make_pair("handled", handled), std::make_pair("handled and painted", painted)}) {
        const QVector<double> *t = row.second;
        std::printf("| %s: median, ms | %.2f | %.2f | %.2f |\n", row.first, median(t[0]), median(t[1]),
                    median(t[0]) / median(t[1]));
        std::printf("| %s: 90th percentile, ms | %.2f | %.2f | %.2f |\n", row.first, percentile(t[0], 0.9),
                    percentile(t[1], 0.9), percentile(t[0], 0.9) / percentile(t[1], 0.9));
        std::printf("| %s: longest, ms | %.2f | %.2f | |\n", row.first, percentile(t[0], 1),
                    percentile(t[1], 1));
    }
}

// Counts the events the application handles while a whole rebuild runs, and
// the longest time between two: what the window could not paint for.
class Watch : public QObject
{
public:
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        if (event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest ||
            event->type() == QEvent::Timer) {
            const qint64 now = clock.nsecsElapsed();
            longest = qMax(longest, now - last);
            last = now;
        }
        return false;
    }
};

void formatAllOf(const QString &text, const char *name, int rounds)
{
    int changed = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        changed += ProgramWords::rebuildLine(line).text != line;
    QVector<double> total, gap, paints, bare;
    for (int round = 0; round < rounds; ++round) {
        auto edit = makeEditor(true);
        auto *program = static_cast<PrgTextEdit *>(edit.get());
        program->setPlainText(text);
        QScrollBar *bar = program->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int top = bar->value();
        QCoreApplication::processEvents();

        Watch watch;
        QTimer heartbeat; // as the window's own timers would
        heartbeat.start(10);
        qApp->installEventFilter(&watch);
        watch.clock.start();
        program->formatAll();
        program->viewport()->repaint();
        total << msSince(watch.clock);
        gap << double(qMax(watch.longest, watch.clock.nsecsElapsed() - watch.last)) / 1e6;
        paints << watch.paints;
        qApp->removeEventFilter(&watch);
        if (bar->value() != top ||
            program->textCursor().position() != program->document()->characterCount() - 1)
            qFatal("formatAll lost the view");

        // The reference: the bare editor putting the rebuilt text in.
        auto reference = makeEditor(false);
        QElapsedTimer clock;
        clock.start();
        reference->setPlainText(program->toPlainText());
        reference->viewport()->repaint();
        bare << msSince(clock);
    }
    std::printf("| %s | %d | %.0f | %.0f | %.0f | %.0f |\n", name, changed, median(total), median(gap),
                median(paints), median(bare));
}

// The "Style" button on the whole program, the view in its middle, up to the
// view back where it was and painted: on the program as read (most of its
// lines already in the canonical spacing) and on the same without any spaces
// (every line changes).
void formatAll(const QString &asRead, int rounds)
{
    std::printf("\n## The whole rebuild (formatAll), view in the middle\n\n");
    std::printf(
        "| text | lines changed | formatAll, ms | longest without an event handled, ms | paints meanwhile | "
        "bare setPlainText of the result, ms |\n|---|---|---|---|---|---|\n");
    QString spaceless = asRead;
    spaceless.remove(QLatin1Char(' '));
    formatAllOf(asRead, "as read", rounds);
    formatAllOf(spaceless, "without spaces", rounds);
}

// FILE's find pressed again and again in the same text: the time of each
// press, for a word on every line, one every 1,000 lines, one only in the
// last line, and one the text does not hold (each press searches it all).
void fileFind(const QString &text, int rounds)
{
    std::printf("\n## FILE's find in the same text\n\n");
    QString withEnd = text;
    withEnd.insert(withEnd.lastIndexOf(QLatin1Char('\n'), -2) + 1, QStringLiteral("(LAST)"));
    QStringList marked = withEnd.split(QLatin1Char('\n'));
    for (int i = 500; i < marked.size(); i += 1000)
        marked[i] += QStringLiteral("(MARK)");
    withEnd = marked.join(QLatin1Char('\n'));
    marked.clear();

    FileForm form;
    form.resize(900, 600);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        qFatal("FILE page not shown");
    auto *pane = form.findChild<QWidget *>(QStringLiteral("textEdit_file"));
    QElapsedTimer clock;
    clock.start();
    // The pane is a text editor of either kind.
    const auto rich = qobject_cast<QTextEdit *>(pane);
    const auto plain = qobject_cast<QPlainTextEdit *>(pane);
    if (rich)
        rich->setPlainText(withEnd);
    else
        plain->setPlainText(withEnd);
    pane->repaint();
    const double putIn = msSince(clock);
    auto *needle = form.findChild<QLineEdit *>(QStringLiteral("lineEdit_findFile"));
    auto *button = form.findChild<QPushButton *>(QStringLiteral("btn_findFile"));
    clock.restart();
    const QString copy = rich ? rich->document()->toPlainText() : plain->document()->toPlainText();
    std::printf(
        "Text put in the pane and painted: %.0f ms; the search's copy of it: %.0f ms (made with a read "
        "from the controller, and at the first search after an edit).\n\n",
        putIn, msSince(clock));
    std::printf("| search text | presses | first press, ms | median, ms | longest, ms | "
                "QString::indexOf for the same steps, median / longest, ms |\n|---|---|---|---|---|---|\n");
    const struct
    {
        const char *word;
        int presses;
    } cases[] = {{"Z-", 20 * rounds}, {"(MARK)", 20 * rounds}, {"(LAST)", 3}, {"(NONE)", 3}};
    for (const auto &c : cases) {
        // From the top, as a file just read.
        if (rich)
            rich->moveCursor(QTextCursor::Start);
        else
            plain->moveCursor(QTextCursor::Start);
        needle->setText(QString::fromLatin1(c.word));
        QVector<double> times, floor;
        int from = 0;
        for (int i = 0; i < c.presses; ++i) {
            clock.restart();
            button->click();
            pane->repaint();
            times << msSince(clock);
            clock.restart();
            const int at = withEnd.indexOf(QLatin1String(c.word), from);
            floor << msSince(clock);
            if (at >= 0)
                from = at + 1;
            QCoreApplication::processEvents();
        }
        std::printf("| %s | %d | %.1f | %.1f | %.1f | %.2f / %.2f |\n", c.word, c.presses, times.first(),
                    median(times), percentile(times, 1), median(floor), percentile(floor, 1));
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;
    const int size = argc > 2 ? qMax(1000, QByteArray(argv[2]).toInt()) : 13000000;
    const QByteArray bytes = programBytes(size);
    const QString text = TransferCodec::decodeText(bytes);
    std::printf("# Program editor: %d bytes, %d lines, %d rounds\n", size, int(bytes.count('\n')), rounds);

    const QByteArray which = argc > 3 ? QByteArray(argv[3]) : QByteArray("all");
    const bool all = which == "all";
    if (all || which == "preview")
        preview(bytes, rounds);
    if (all || which == "keys")
        keystrokes(text, rounds);
    if (all || which == "format")
        formatAll(text, rounds);
    if (all || which == "find")
        fileFind(text, rounds);
    return 0;
}
