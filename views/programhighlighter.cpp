#include "views/programhighlighter.h"

#include "views/prgtextedit.h"
#include "views/programwords.h"

#include <QAbstractTextDocumentLayout>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>

#include <array>

namespace {

// Lines an edit may change and still be coloured at once: typing, Enter, a
// paste of a few lines. Beyond that (a text put in whole, a whole rebuild, a
// large paste or its undo) lines wait until they are shown.
constexpr int EagerLines = 64;

const std::array<QTextCharFormat, ProgramWords::ClassCount> &classFormats()
{
    static const auto formats = [] {
        std::array<QTextCharFormat, ProgramWords::ClassCount> byClass;
        for (int c = 0; c < ProgramWords::ClassCount; ++c)
            byClass[c].setForeground(PrgTextEdit::classColour(ProgramWords::Class(c)));
        return byClass;
    }();
    return formats;
}

} // namespace

ProgramHighlighter::ProgramHighlighter(QTextDocument *document) : QSyntaxHighlighter(document)
{
    // QSyntaxHighlighter colours every line an edit touches before the edit
    // returns, and gives each its own layout on the way: for a text of
    // hundreds of thousands of lines put in whole that is seconds and hundreds
    // of MB for lines nobody looks at. Its own handling of changes is replaced
    // by one that colours small edits at once and leaves the rest to the view.
    disconnect(document, &QTextDocument::contentsChange, this, nullptr);
    connect(document, &QTextDocument::contentsChange, this, &ProgramHighlighter::onContentsChange);
    // Ends the pass over the whole document that setting it schedules.
    rehighlight();
}

void ProgramHighlighter::highlightBlock(const QString &text)
{
    const auto &formats = classFormats();
    for (const ProgramWords::Run &run : ProgramWords::typedRuns(text))
        setFormat(run.start, run.length, formats[run.wordClass]);
}

void ProgramHighlighter::onContentsChange(int from, int /*removed*/, int added)
{
    QTextDocument *doc = document();
    const QTextBlock first = doc->findBlock(from);
    QTextBlock last = doc->findBlock(from + added);
    if (!last.isValid())
        last = doc->lastBlock();
    if (!first.isValid())
        return;
    if (last.blockNumber() - first.blockNumber() >= EagerLines) {
        ++m_generation;
        return;
    }
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        colour(block);
        if (block == last)
            break;
    }
}

void ProgramHighlighter::colour(QTextBlock block)
{
    // Set before the colouring, which so sees the line's state unchanged and
    // goes on to no further line.
    block.setUserState(m_generation);
    rehighlightBlock(block);
}

void ProgramHighlighter::colourIfStale(const QTextBlock &block)
{
    if (!block.isValid() || block.userState() == m_generation)
        return;
    // New colours mark the document changed (a signal the editor takes for an
    // edit) and ask the view to paint the line again, which it is doing.
    QTextDocument *doc = document();
    const QSignalBlocker quietDocument(doc);
    const QSignalBlocker quietLayout(doc->documentLayout());
    colour(block);
}
