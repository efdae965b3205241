#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

// Drives the main window as an operator does: every widget is found by its
// object name from the window down, and acted on with clicks, keys and drops.
// Shared by the end-to-end tests and the screenshot renderer.
namespace WindowDriver {

template<typename T> T *named(const QObject *root, const char *name)
{
    return root ? root->findChild<T *>(QLatin1String(name)) : nullptr;
}

// A click as the button reports it (clicked, toggled), wherever its visible
// part lies: the switch and the page buttons draw no indicator where a mouse
// click at their centre would land.
inline void click(QAbstractButton *button)
{
    if (button)
        button->click();
}

inline void click(const QObject *root, const char *name)
{
    click(named<QAbstractButton>(root, name));
}

// A double-click as the window system delivers it: press, release, then the
// double-click and its release. Item views act on a double-click only at the
// item the first press went to.
inline void doubleClick(QWidget *widget, const QPoint &at)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

// The cards of the device list, top to bottom.
inline QList<QTabWidget *> cards(const QWidget *window)
{
    QList<QTabWidget *> list;
    const auto *layout = named<QLayout>(window, "verticalLayout_devices");
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (auto *card = qobject_cast<QTabWidget *>(layout->itemAt(i)->widget()))
            list.append(card);
    }
    return list;
}

inline QTabWidget *card(const QWidget *window, const QString &name)
{
    for (QTabWidget *c : cards(window)) {
        if (named<QLabel>(c, "label_deviceName")->text() == name)
            return c;
    }
    return nullptr;
}

inline QString stateText(const QTabWidget *card)
{
    const auto *label = named<QLabel>(card, "label_state");
    return label ? label->text() : QString();
}

// Double-clicks the card's name: the card becomes the selected device.
inline void select(QTabWidget *card)
{
    if (auto *label = named<QLabel>(card, "label_deviceName"))
        doubleClick(label, label->rect().center());
}

inline void setSwitch(QTabWidget *card, bool on)
{
    auto *box = named<QAbstractButton>(card, "checkBox_toConnect");
    if (box && box->isChecked() != on)
        click(box);
}

inline void typeInto(QLineEdit *edit, const QString &text)
{
    if (!edit)
        return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

struct CardSettings
{
    int type = 1; // 0 RTU, 1 TCP
    QString name;
    int model = 0;
    QString ip;      // TCP
    int address = 1; // RTU
};

// Opens the card's setting page with its own button, fills it in, and goes
// back to the front page.
inline void configure(QTabWidget *card, const CardSettings &s)
{
    click(card, "pushButton_set");
    named<QComboBox>(card, "comboBox_type")->setCurrentIndex(s.type);
    typeInto(named<QLineEdit>(card, "lineEdit_deviceName"), s.name);
    named<QComboBox>(card, "comboBox_model")->setCurrentIndex(s.model);
    if (s.type == 1)
        typeInto(named<QLineEdit>(card, "lineEdit_IP"), s.ip);
    else
        named<QSpinBox>(card, "spinBox_address")->setValue(s.address);
    click(card, "pushButton_show");
}

inline void showPage(const QWidget *window, const char *button)
{
    click(window, button);
}

// Local files dropped on a card, as from a file manager.
inline void dropFiles(QWidget *target, const QStringList &paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// The upload dialog of the card named `title`, once it is on screen.
inline QWidget *uploadDialog(const QString &title)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->objectName() == QLatin1String("UpLoadDialog") && w->windowTitle() == title && w->isVisible())
            return w;
    }
    return nullptr;
}

inline bool doubleClickCell(QTableWidget *table, int row, int column)
{
    QTableWidgetItem *item = table ? table->item(row, column) : nullptr;
    if (!item)
        return false;
    table->scrollToItem(item);
    doubleClick(table->viewport(), table->visualItemRect(item).center());
    return true;
}

inline void clickCell(QTableWidget *table, int row, int column)
{
    const QRect cell = table->visualRect(table->model()->index(row, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

// The tree item whose `column` reads `text`, double-clicked once its group is
// open and it is scrolled into view.
inline bool doubleClickTreeItem(QTreeWidget *tree, int column, const QString &text)
{
    const QList<QTreeWidgetItem *> found =
        tree ? tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, column)
             : QList<QTreeWidgetItem *>();
    if (found.isEmpty())
        return false;
    QTreeWidgetItem *item = found.first();
    tree->scrollToItem(item);
    doubleClick(tree->viewport(), tree->visualItemRect(item).center());
    return true;
}

} // namespace WindowDriver
