#include "views/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>

namespace {
Dialogs::Responder &responder()
{
    static Dialogs::Responder r;
    return r;
}
} // namespace

namespace Dialogs {

void setResponder(Responder r)
{
    responder() = std::move(r);
}

int message(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
            const QList<Button> &buttons)
{
    if (responder()) {
        Request request;
        request.kind = Request::Message;
        request.parent = parent;
        request.title = title;
        request.text = text;
        request.buttons = buttons;
        request.icon = icon;
        return responder()(request).button;
    }
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (const Button &b : buttons)
        added.append(box.addButton(b.text, b.role));
    box.exec();
    return added.indexOf(box.clickedButton());
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    if (responder()) {
        Request request;
        request.kind = Request::Message;
        request.parent = parent;
        request.title = title;
        request.text = text;
        request.buttons = {Button{QStringLiteral("OK"), QMessageBox::AcceptRole}};
        request.icon = QMessageBox::Information;
        responder()(request);
        return;
    }
    QMessageBox::information(parent, title, text);
}

bool integer(QWidget *parent, const QString &title, const QString &label, int value, int minimum, int maximum,
             int step, int *result)
{
    if (responder()) {
        Request request;
        request.kind = Request::Integer;
        request.parent = parent;
        request.title = title;
        request.text = label;
        request.value = value;
        request.minimum = minimum;
        request.maximum = maximum;
        request.step = step;
        const Answer answer = responder()(request);
        if (answer.accepted && result)
            *result = answer.value;
        return answer.accepted;
    }
    bool ok = false;
    const int v = QInputDialog::getInt(parent, title, label, value, minimum, maximum, step, &ok);
    if (ok && result)
        *result = v;
    return ok;
}

QString openFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    if (responder()) {
        Request request;
        request.kind = Request::OpenFile;
        request.parent = parent;
        request.title = caption;
        request.path = folder;
        request.filter = filter;
        return responder()(request).path;
    }
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &proposed, const QString &filter)
{
    if (responder()) {
        Request request;
        request.kind = Request::SaveFile;
        request.parent = parent;
        request.title = caption;
        request.path = proposed;
        request.filter = filter;
        return responder()(request).path;
    }
    return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
}

} // namespace Dialogs
