#include "views/prgtextedit.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <array>

namespace {

using ProgramWords::Class;

QTextCharFormat classFormat(Class wordClass)
{
    QTextCharFormat format;
    format.setForeground(PrgTextEdit::classColour(wordClass));
    return format;
}

struct Formats
{
    std::array<QTextCharFormat, ProgramWords::ClassCount> byClass;
    Formats()
    {
        for (int c = 0; c < ProgramWords::ClassCount; ++c)
            byClass[c] = classFormat(Class(c));
    }
    const QTextCharFormat &operator[](Class c) const { return byClass[c]; }
};

const Formats &classFormats()
{
    static const Formats formats;
    return formats;
}

// One insert per run of a class, never one per character: a line costs a
// handful of document edits whatever its length.
void insertLine(QTextCursor &cursor, const ProgramWords::Line &line, const Formats &formats)
{
    for (const ProgramWords::Run &run : line.runs)
        cursor.insertText(line.text.mid(run.start, run.length), formats[run.wordClass]);
}

// True when the block already holds the rebuilt line with its colours, so a
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

// The document layout works lazily on a large text: it lays out the first part
// at once and the rest in steps from the event loop. An edit that arrives
// before it is done ends the steps early and leaves the lines below without a
// layout: they are neither drawn nor counted in the scroll range. So before an
// edit, lay out whatever is still missing: by finishing the steps when they
// still run, by laying out the whole text anew when an earlier edit ended them.
void completeLayout(QTextDocument *doc)
{
    const QTextBlock last = doc->lastBlock();
    if (!last.layout() || last.layout()->lineCount() > 0)
        return;
    doc->documentLayout()->blockBoundingRect(last);
    if (last.layout()->lineCount() == 0)
        doc->markContentsDirty(0, doc->characterCount());
}

} // namespace

PrgTextEdit::PrgTextEdit(QWidget *parent) : QTextEdit(parent)
{
    // A program is plain text: a paste brings characters, never fonts or colours.
    setAcceptRichText(false);
    connect(this, &QTextEdit::textChanged, this, &PrgTextEdit::formatCurrentLine);
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

void PrgTextEdit::formatCurrentLine()
{
    const QSignalBlocker blocker(this);
    const Formats &formats = classFormats();
    QTextDocument *doc = document();
    completeLayout(doc);

    // An undo or redo brings back a text as it was, rebuilt or not; rebuilding
    // it here would start a new history and lose the steps still to redo.
    if (doc->isRedoAvailable())
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

    const int before = countSpaces(typed);
    const int after = countSpaces(line.text);
    int target = position + (after > before ? 1 : after < before ? -1 : 0);
    // Several spaces put in at once shrink the line by more than one: the
    // cursor stays on its line.
    const int lineStart = block.position();
    target = qBound(lineStart, target, lineStart + line.text.size());
    cursor.setPosition(target);
    setTextCursor(cursor);
}

void PrgTextEdit::formatAll()
{
    const QSignalBlocker blocker(this);
    const Formats &formats = classFormats();

    const QString text = toPlainText();
    const int scroll = verticalScrollBar()->value();
    const QStringList lines = ProgramWords::textLines(text);

    // Cleared and filled in one edit, so the layout treats it as a new text
    // and lays it out step by step as it is shown, as it does for a text put
    // in whole. Like a text put in whole, it starts a new undo history.
    QTextDocument *doc = document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    doc->clear();
    for (const QString &typed : lines) {
        insertLine(cursor, ProgramWords::rebuildLine(typed), formats);
        cursor.insertBlock(QTextBlockFormat(), formats[ProgramWords::Plain]);
    }
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);

    // The editor's own cursor moved along with the inserts to the end, without
    // scrolling there. The layout has reported only the size of its first
    // step, and the view has shrunk its scroll range to it. Lay out what was in
    // view, so that every later size report covers it, and scroll back.
    doc->documentLayout()->hitTest(QPointF(0, scroll + viewport()->height()), Qt::FuzzyHit);
    QScrollBar *bar = verticalScrollBar();
    bar->setMaximum(qMax(bar->maximum(), scroll));
    bar->setValue(scroll);
}
