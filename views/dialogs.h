#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every question the views put to the operator goes through here: message
// boxes, the number prompt and the file choosers. The default shows the real
// modal dialog; tests install a responder that answers in advance, so no test
// ever waits on a dialog and every dialog's texts can be checked.
namespace Dialogs {

struct Button
{
    QString text;
    QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
    bool isDefault = false; // the button Enter presses; otherwise the box chooses by role
};

struct Request
{
    enum Kind { Message, Integer, OpenFile, SaveFile, OpenFolder };
    Kind kind = Message;
    QWidget *parent = nullptr;
    QString title;         // window title or file dialog caption
    QString text;          // message text or number prompt label
    QString informative;   // Message: the line under the text, why it came to this
    QList<Button> buttons; // Message: the buttons in the order added
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString path;   // OpenFile, OpenFolder: start folder; SaveFile: proposed file
    QString filter; // file dialogs
    int value = 0, minimum = 0, maximum = 0, step = 1; // Integer
};

struct Answer
{
    int button = -1;       // Message: index of the button pressed, -1 when closed otherwise
    bool accepted = false; // Integer: false when cancelled
    int value = 0;         // Integer
    QString path;          // file dialogs: empty when cancelled
};

using Responder = std::function<Answer(const Request &)>;

// Tests only: every later dialog is answered by `responder` instead of being
// shown; an empty responder restores the real dialogs.
void setResponder(Responder responder);

// A modal message box with the given buttons and, when given, an informative
// text under the text; returns the index of the one pressed, or -1 when the
// box was closed another way.
int message(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
            const QList<Button> &buttons, const QString &informative = QString());

// Sizes a window to what it wants, within the screen it opens on (its
// parent's, else the primary one): a fixed size may not fit a small screen
// with its title bar and task bar.
void fitToScreen(QWidget *window, const QSize &wanted);

// A message box with one OK button.
void information(QWidget *parent, const QString &title, const QString &text);

// QInputDialog::getInt; returns false when cancelled.
bool integer(QWidget *parent, const QString &title, const QString &label, int value, int minimum, int maximum,
             int step, int *result);

// QFileDialog::getOpenFileName / getSaveFileName; an empty text when cancelled.
QString openFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter);
QString saveFileName(QWidget *parent, const QString &caption, const QString &proposed, const QString &filter);
// QFileDialog::getExistingDirectory; an empty text when cancelled.
QString existingFolder(QWidget *parent, const QString &caption, const QString &folder);

} // namespace Dialogs
