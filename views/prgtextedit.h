#pragma once

#include "views/programwords.h"

#include <QColor>
#include <QTextEdit>

class QTextBlock;
class QTextCursor;

// The program editor: a plain text editor that keeps every line it rebuilds in
// the canonical spacing, coloured by word class. Each change rebuilds the line
// under the cursor; formatAll() rebuilds every line.
class PrgTextEdit : public QTextEdit
{
    Q_OBJECT

public:
    explicit PrgTextEdit(QWidget *parent = nullptr);

    // Rebuilds the line under the cursor. A typed space disappears and the
    // cursor stays; a space the spacing wants comes back and the cursor stands
    // after it; a letter typed after a number gets its space and the cursor
    // stands after the letter.
    void formatCurrentLine();
    // Rebuilds every line, keeps the view scrolled where it was and leaves the
    // cursor at the end. A text that ends with a line feed keeps its line
    // feeds, any other text gains one, so a second pass changes nothing.
    void formatAll();

    static int countSpaces(const QString &text);
    static QColor classColour(ProgramWords::Class wordClass);
};
