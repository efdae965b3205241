#pragma once

#include "views/programwords.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextEdit>

class ProgramHighlighter;

// The program editor: a plain text editor that keeps every line it rebuilds in
// the canonical spacing, coloured by word class. Each change rebuilds the line
// under the cursor; formatAll() rebuilds every line. It lays out only the
// lines in view, and colours them as they come into view, so a program of
// hundreds of thousands of lines is shown and edited as fast as a short one.
class PrgTextEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit PrgTextEdit(QWidget *parent = nullptr);

    // Puts a text in whole as it is, as plain text, and starts a new undo
    // history. setText() is the same, for callers used to the rich text
    // editor's name for it.
    void setPlainText(const QString &text);
    void setText(const QString &text) { setPlainText(text); }
    // Takes the rich text editor's wrap modes too: no wrap, or wrap at the
    // widget's width for any other.
    using QPlainTextEdit::setLineWrapMode;
    void setLineWrapMode(QTextEdit::LineWrapMode mode);

    // Rebuilds the line under the cursor. The cursor stays after the
    // character it stood after: a typed space disappears and the cursor stays;
    // a space the spacing wants comes back and the cursor stands after it; a
    // letter typed after a number gets its space and the cursor stands after
    // the letter, also at the end of a line not yet in the canonical spacing.
    void formatCurrentLine();
    // Rebuilds every line, keeps the view scrolled where it was and leaves the
    // cursor at the end. A text that ends with a line feed keeps its line
    // feeds, any other text gains one, so a second pass changes nothing. A
    // long rebuild shows its progress and keeps the window painted; cancelled,
    // it stops there: the lines before stay rebuilt, the rest as they were.
    void formatAll();

    static int countSpaces(const QString &text);
    static QColor classColour(ProgramWords::Class wordClass);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ProgramHighlighter *m_highlighter = nullptr; // child of the document
};
