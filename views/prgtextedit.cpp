#include "views/prgtextedit.h"

#include "views/programhighlighter.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <array>

namespace {

using ProgramWords::Class;

// A whole rebuild that has run this long shows its progress from then on; it
// rebuilds in slices of this long, checked every so many lines.
constexpr int ProgressAfterMs = 300;
constexpr int SliceMs = 40;
constexpr int SliceCheckLines = 512;

struct Formats
{
    std::array<QTextCharFormat, ProgramWords::ClassCount> byClass;
    Formats()
    {
        for (int c = 0; c < ProgramWords::ClassCount; ++c)
            byClass[c].setForeground(PrgTextEdit::classColour(Class(c)));
    }
    const QTextCharFormat &operator[](Class c) const { return byClass[c]; }
};

const Formats &classFormats()
{
    static const Formats formats;
    return formats;
}

// A rebuilt line goes into the document with its classes, one insert per run,
// as the record of the rebuild: the undo history holds a step for a rebuild
// that changed only classes, and a line already in its rebuilt form with its
// classes is left alone. What the view shows comes from the highlighter.
void insertLine(QTextCursor &cursor, const ProgramWords::Line &line, const Formats &formats)
{
    for (const ProgramWords::Run &run : line.runs)
        cursor.insertText(line.text.mid(run.start, run.length), formats[run.wordClass]);
}

// True when the block already holds the rebuilt line with its classes, so a
// change that needs no rebuild (a redo up to a rebuilt line, a keystroke that
// leaves the line as the rebuild wants it) leaves the document and its undo
// history alone.
bool holdsLine(const QTextBlock &block, const ProgramWords::Line &line, const Formats &formats)
{
    if (block.text() != line.text)
        return false;
    const int blockStart = block.position();
    int run = 0;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const int start = fragment.position() - blockStart;
        const int end = start + fragment.length();
        for (int at = start; at < end;) {
            while (run < line.runs.size() && line.runs.at(run).start + line.runs.at(run).length <= at)
                ++run;
            if (run >= line.runs.size() || fragment.charFormat() != formats[line.runs.at(run).wordClass])
                return false;
            at = line.runs.at(run).start + line.runs.at(run).length;
        }
    }
    return true;
}

// Characters other than white space among the first `end` of a line.
int nonSpaceBefore(const QString &text, int end)
{
    return end - ProgramWords::countSpaces(text.left(end));
}

} // namespace

PrgTextEdit::PrgTextEdit(QWidget *parent) : QPlainTextEdit(parent)
{
    m_highlighter = new ProgramHighlighter(document());
    connect(this, &QPlainTextEdit::textChanged, this, &PrgTextEdit::formatCurrentLine);
}

QColor PrgTextEdit::classColour(ProgramWords::Class wordClass)
{
    switch (wordClass) {
    case ProgramWords::Plain:
        return QColor(255, 255, 255);
    case ProgramWords::Word:
        return QColor(8, 140, 255);
    case ProgramWords::Comment:
        return QColor(0, 255, 0);
    case ProgramWords::GWord:
        return QColor(170, 0, 255);
    case ProgramWords::MWord:
        return QColor(0, 170, 127);
    case ProgramWords::FeedOrSpeed:
        return QColor(255, 0, 0);
    case ProgramWords::ToolWord:
        return QColor(140, 30, 30);
    }
    return QColor(255, 255, 255);
}

int PrgTextEdit::countSpaces(const QString &text)
{
    return ProgramWords::countSpaces(text);
}

void PrgTextEdit::setPlainText(const QString &text)
{
    // A text put in whole takes the class of plain values, whatever line the
    // cursor stood on.
    setCurrentCharFormat(classFormats()[ProgramWords::Plain]);
    QPlainTextEdit::setPlainText(text);
}

void PrgTextEdit::setLineWrapMode(QTextEdit::LineWrapMode mode)
{
    setLineWrapMode(mode == QTextEdit::NoWrap ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
}

void PrgTextEdit::formatCurrentLine()
{
    const QSignalBlocker blocker(this);
    const Formats &formats = classFormats();

    // An undo or redo brings back a text as it was, rebuilt or not; rebuilding
    // it here would start a new history and lose the steps still to redo.
    if (document()->isRedoAvailable())
        return;

    QTextCursor cursor = textCursor();
    const int position = cursor.position();
    // Lines never wrap here, so the line under the cursor is its block.
    const QTextBlock block = cursor.block();
    const QString typed = block.text();
    const ProgramWords::Line line = ProgramWords::rebuildLine(typed);

    if (!holdsLine(block, line, formats)) {
        QTextCursor edit(block);
        edit.beginEditBlock();
        edit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        insertLine(edit, line, formats);
        edit.endEditBlock();
    }

    // On a line that was in the canonical spacing before the keystroke the
    // count of spaces tells where the cursor goes, and it stays after the same
    // characters. On any other (a line as it came from the controller, where
    // the rebuild adds several spaces) the cursor stays after the character
    // it stood after.
    const int lineStart = block.position();
    const int column = position - lineStart;
    const int before = countSpaces(typed);
    const int after = countSpaces(line.text);
    int target = column + (after > before ? 1 : after < before ? -1 : 0);
    const int kept = nonSpaceBefore(typed, column);
    if (target < 0 || target > line.text.size() || nonSpaceBefore(line.text, target) != kept) {
        target = 0;
        for (int seen = 0; seen < kept; ++target) {
            if (!line.text.at(target).isSpace())
                ++seen;
        }
    }
    cursor.setPosition(lineStart + target);
    setTextCursor(cursor);
}

void PrgTextEdit::formatAll()
{
    // Lines are rebuilt in place, a slice at a time, and only those that
    // change: a program of hundreds of thousands of lines put in whole again
    // would keep the window still for seconds. After a slice that took long
    // enough a modal progress dialog shows, and handles the events that wait,
    // paints included, before the next slice. Each slice is one edit, with the
    // editor's signals blocked (nothing else is blocked while the dialog runs
    // events: the editor may go meanwhile).
    QTextDocument *doc = document();
    const QPointer<PrgTextEdit> self(this);
    bool ours = false;
    bool foreign = false; // a change from elsewhere while the dialog ran events
    const QMetaObject::Connection watch = connect(doc, &QTextDocument::contentsChange, this, [&] {
        if (!ours)
            foreign = true;
    });
    const int top = verticalScrollBar()->value();
    const int left = horizontalScrollBar()->value();
    // Like a text put in whole, it starts a new undo history.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);

    const QTextCharFormat &plain = classFormats()[ProgramWords::Plain];
    const int lines = doc->blockCount();
    QPointer<QProgressDialog> progress;
    QElapsedTimer clock;
    clock.start();
    QTextCursor edit(doc);
    QTextBlock block = doc->firstBlock();
    while (block.isValid()) {
        QElapsedTimer slice;
        slice.start();
        ours = true;
        blockSignals(true);
        edit.beginEditBlock();
        for (int n = 1; block.isValid() && (n % SliceCheckLines != 0 || slice.elapsed() < SliceMs); ++n) {
            const QString typed = block.text();
            const QString rebuilt = ProgramWords::rebuildLine(typed).text;
            if (rebuilt != typed) {
                edit.setPosition(block.position());
                edit.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
                edit.insertText(rebuilt, plain);
            }
            block = block.next();
        }
        // A text that ends with a line feed keeps them all; any other gains one.
        if (!block.isValid() && (doc->blockCount() == 1 || !doc->lastBlock().text().isEmpty())) {
            edit.movePosition(QTextCursor::End);
            edit.insertText(QStringLiteral("\n"), plain);
        }
        edit.endEditBlock();
        blockSignals(false);
        ours = false;

        if (!block.isValid() || clock.elapsed() < ProgressAfterMs)
            continue;
        if (!progress) {
            progress = new QProgressDialog(tr("正在整理程序样式"), tr("取消"), 0, lines, this);
            progress->setWindowTitle(tr("程序样式"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
        }
        progress->setValue(block.blockNumber());
        if (!self)
            return; // the editor went with its page
        // Cancelled, or the text changed from elsewhere: the lines done so far
        // stay rebuilt, the rest stay as they are.
        if (!progress || progress->wasCanceled() || foreign)
            break;
    }
    disconnect(watch);
    delete progress;
    doc->setUndoRedoEnabled(undo);

    const QSignalBlocker blocker(this);
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(top);
    horizontalScrollBar()->setValue(left);
}

void PrgTextEdit::paintEvent(QPaintEvent *event)
{
    // The lines about to be painted get their colours first.
    const QRect area = event->rect();
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > area.bottom())
            break;
        if (box.bottom() >= area.top())
            m_highlighter->colourIfStale(block);
    }
    QPlainTextEdit::paintEvent(event);
}
