#pragma once

#include <QSyntaxHighlighter>

class QTextBlock;

// Colours a program by word class, as ProgramWords tells it for each line as
// it stands. A line is coloured when a small edit changes it, and otherwise
// only when it is about to be shown (colourIfStale from the view's paint): a
// text put in whole, or rebuilt whole, costs no colouring beyond the lines in
// view, and no layout for the lines nobody looks at.
class ProgramHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // The document must be empty yet: its lines are coloured from then on.
    explicit ProgramHighlighter(QTextDocument *document);

    // Colours the line when it changed since it was last coloured. Called
    // while the line is painted: the document and its layout stay quiet, the
    // paint under way shows the colours.
    void colourIfStale(const QTextBlock &block);

protected:
    void highlightBlock(const QString &text) override;

private:
    void onContentsChange(int from, int removed, int added);
    void colour(QTextBlock block);

    // A line whose user state holds this number is coloured as it stands. A
    // change of more lines than are coloured at once moves it on, and so
    // leaves every line to be coloured when it is next shown.
    int m_generation = 0;
};
