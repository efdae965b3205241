#include "views/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

// The real dialogs behind the helper: answered from a timer once they are up.
class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageReportsPressedButton_data();
    void messageReportsPressedButton();
    void integerStepsAndCancel();
};

namespace {
template<typename T, typename F> void whenModal(F answer)
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            answer(dialog);
        }
    });
    timer->start(10);
}
} // namespace

void TestDialogs::messageReportsPressedButton_data()
{
    QTest::addColumn<int>("press");
    QTest::newRow("first") << 0;
    QTest::newRow("second") << 1;
}

void TestDialogs::messageReportsPressedButton()
{
    QFETCH(int, press);
    QString title;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        title = box->windowTitle();
        // buttons() is in layout order; find ours by text.
        for (QAbstractButton *b : box->buttons())
            if (b->text() == (press == 0 ? QStringLiteral("yes") : QStringLiteral("no")))
                b->click();
    });
    const int pressed = Dialogs::message(
        nullptr, QMessageBox::Question, QStringLiteral("t"), QStringLiteral("x"),
        {{QStringLiteral("yes"), QMessageBox::YesRole}, {QStringLiteral("no"), QMessageBox::NoRole}});
    QCOMPARE(pressed, press);
    QCOMPARE(title, QStringLiteral("t"));
}

void TestDialogs::integerStepsAndCancel()
{
    int stepped = 0;
    whenModal<QInputDialog>([&](QInputDialog *dialog) {
        auto *spin = dialog->findChild<QSpinBox *>();
        spin->stepUp();
        stepped = spin->value();
        dialog->accept();
    });
    int value = -1;
    QVERIFY(Dialogs::integer(nullptr, QStringLiteral("t"), QStringLiteral("l"), 1000, 0, 9999, 1000, &value));
    QCOMPARE(stepped, 2000);
    QCOMPARE(value, 2000);

    whenModal<QInputDialog>([](QInputDialog *dialog) { dialog->reject(); });
    value = -1;
    QVERIFY(
        !Dialogs::integer(nullptr, QStringLiteral("t"), QStringLiteral("l"), 1000, 0, 9999, 1000, &value));
    QCOMPARE(value, -1);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
