#include "views/dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QPushButton>
#include <QScreen>

namespace {
Dialogs::Responder &responder()
{
    static Dialogs::Responder r;
    return r;
}

Dialogs::Request request(Dialogs::Request::Kind kind, QWidget *parent, const QString &title,
                         const QString &text)
{
    Dialogs::Request r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.text = text;
    return r;
}

Dialogs::Request fileRequest(Dialogs::Request::Kind kind, QWidget *parent, const QString &caption,
                             const QString &path, const QString &filter)
{
    Dialogs::Request r = request(kind, parent, caption, QString());
    r.path = path;
    r.filter = filter;
    return r;
}
} // namespace

namespace Dialogs {

void setResponder(Responder r)
{
    responder() = std::move(r);
}

int message(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
            const QList<Button> &buttons, const QString &informative)
{
    if (responder()) {
        Request r = request(Request::Message, parent, title, text);
        r.buttons = buttons;
        r.icon = icon;
        r.informative = informative;
        return responder()(r).button;
    }
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(informative);
    QList<QAbstractButton *> added;
    for (const Button &b : buttons) {
        QPushButton *button = box.addButton(b.text, b.role);
        if (b.isDefault)
            box.setDefaultButton(button);
        added.append(button);
    }
    box.exec();
    return added.indexOf(box.clickedButton());
}

void fitToScreen(QWidget *window, const QSize &wanted)
{
    const QWidget *parent = window->parentWidget();
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QSize size = wanted;
    if (screen) {
        // Room for the window's frame and title bar.
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);
        size = wanted.boundedTo(room).expandedTo(window->minimumSizeHint());
    }
    window->resize(size);
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    if (responder()) {
        Request r = request(Request::Message, parent, title, text);
        r.buttons = {Button{QStringLiteral("OK"), QMessageBox::AcceptRole}};
        r.icon = QMessageBox::Information;
        responder()(r);
        return;
    }
    QMessageBox::information(parent, title, text);
}

bool integer(QWidget *parent, const QString &title, const QString &label, int value, int minimum, int maximum,
             int step, int *result)
{
    bool ok = false;
    int v = value;
    if (responder()) {
        Request r = request(Request::Integer, parent, title, label);
        r.value = value;
        r.minimum = minimum;
        r.maximum = maximum;
        r.step = step;
        const Answer answer = responder()(r);
        ok = answer.accepted;
        v = answer.value;
    } else {
        v = QInputDialog::getInt(parent, title, label, value, minimum, maximum, step, &ok);
    }
    if (ok && result)
        *result = v;
    return ok;
}

QString openFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    if (responder())
        return responder()(fileRequest(Request::OpenFile, parent, caption, folder, filter)).path;
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &proposed, const QString &filter)
{
    if (responder())
        return responder()(fileRequest(Request::SaveFile, parent, caption, proposed, filter)).path;
    return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
}

QString existingFolder(QWidget *parent, const QString &caption, const QString &folder)
{
    if (responder())
        return responder()(fileRequest(Request::OpenFolder, parent, caption, folder, QString())).path;
    return QFileDialog::getExistingDirectory(parent, caption, folder);
}

} // namespace Dialogs
