// A controller holding 10,000 programs, every number from O0000 to O9999: the
// program page's list (the directory read and the table shown), and the
// upload dialog with a line for each of 10,000 program files (listed, scrolled
// and written), each beside the link alone doing the same.
//
//   bench/bench_programlist [rounds = 3] [programs = 10000]
//
// The simulator runs in this process, on 127.0.0.81:1502 (run it in a network
// namespace of its own, as scripts/bench.sh does); it answers in the same
// thread, so its share is in every figure alike. Offscreen platform.
#include "bench/benchclock.h"
#include "devices/uploaddialog.h"
#include "tests/viewtest.h"
#include "views/prgform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

using BenchClock::median;

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

QByteArray programText(int number)
{
    return QStringLiteral("O%1\nG01X1F300\nM30\n").arg(number, 4, 10, QLatin1Char('0')).toLatin1();
}

// The longest time the application went without handling an event (a paint,
// a timer, a reply) while it is installed: what the window could not paint
// for.
class Watch : public QObject
{
public:
    Watch()
    {
        clock.start();
        qApp->installEventFilter(this);
    }
    ~Watch() override { qApp->removeEventFilter(this); }
    double longestMs() const { return double(qMax(longest, clock.nsecsElapsed() - last)) / 1e6; }
    bool eventFilter(QObject *, QEvent *) override
    {
        const qint64 now = clock.nsecsElapsed();
        longest = qMax(longest, now - last);
        last = now;
        return false;
    }

private:
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

// Scrolls a view from top to bottom a page at a time, each page painted; the
// events that wait are handled between pages, untimed, as the window would.
double msPerPage(QAbstractScrollArea *view)
{
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(0);
    view->viewport()->repaint();
    QElapsedTimer clock;
    double ms = 0;
    int pages = 0;
    for (int value = 0; value <= bar->maximum(); value += qMax(1, bar->pageStep()), ++pages) {
        clock.start();
        bar->setValue(value);
        view->viewport()->repaint();
        ms += msSince(clock);
        QCoreApplication::processEvents();
    }
    return ms / qMax(1, pages);
}

void programList(SimulatedCard &card, int rounds)
{
    ModbusDevice *device = card.connect()->device();
    PrgForm form;
    form.resize(1000, 700);
    form.show(); // reads the list once
    if (!QTest::qWaitForWindowExposed(&form))
        qFatal("program page not shown");
    auto *table = form.findChild<QTableWidget *>(QStringLiteral("tableWidget_programList"));
    QVector<double> link, page, longest, perPage;
    for (int round = 0; round < rounds; ++round) {
        QList<ProgramEntry> entries;
        QElapsedTimer clock;
        clock.start();
        if (device->readProgramList(&entries, true) != 0)
            qFatal("directory read failed");
        link << msSince(clock);

        table->setRowCount(0);
        Watch watch;
        clock.restart();
        form.readProgramList();
        table->viewport()->repaint();
        page << msSince(clock);
        longest << watch.longestMs();
        if (table->rowCount() != entries.size())
            qFatal("list incomplete: %d of %d", table->rowCount(), int(entries.size()));
        perPage << msPerPage(table);
    }
    std::printf("\n## The program page's list of %d programs\n\n", table->rowCount());
    std::printf(
        "| directory read by the link, ms | list read and shown by the page, ms | the table's share, ms | "
        "longest without an event handled, ms | scrolled, ms a page |\n|---|---|---|---|---|\n");
    std::printf("| %.0f | %.0f | %.0f | %.0f | %.2f |\n", median(link), median(page),
                median(page) - median(link), median(longest), median(perPage));
}

void uploadDialog(SimulatedCard &card, int programs, int rounds)
{
    ModbusDevice *device = card.connect()->device();
    QTemporaryDir dir;
    QStringList paths;
    for (int n = 0; n < programs; ++n) {
        QFile file(dir.filePath(QStringLiteral("O%1.txt").arg(n, 4, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(programText(n)) < 0)
            qFatal("cannot write %s", qPrintable(file.fileName()));
        paths << file.fileName();
    }
    QVector<double> listed, perPage, written, floor, folderLines;
    for (int round = 0; round < rounds; ++round) {
        UpLoadDialog dialog;
        dialog.bindDevice(device);
        dialog.resize(500, 700);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            qFatal("upload dialog not shown");
        auto *tree = dialog.findChild<QTreeWidget *>();
        QElapsedTimer clock;
        clock.start();
        dialog.insertFiles(paths);
        tree->viewport()->repaint();
        listed << msSince(clock);
        perPage << msPerPage(tree);

        clock.restart();
        dialog.transfer();
        if (!QTest::qWaitFor([&] { return !dialog.isTransferring(); }, 600000))
            qFatal("transfer did not end");
        written << msSince(clock);
        for (int i = 0; i < dialog.programRoot()->childCount(); ++i) {
            if (dialog.programRoot()->child(i)->data(1, UpLoadDialog::OutcomeRole).toInt() != 0)
                qFatal("line %d not written: %d", i,
                       dialog.programRoot()->child(i)->data(1, UpLoadDialog::OutcomeRole).toInt());
        }

        // The link alone writing the same programs, one after another.
        clock.restart();
        for (int n = 0; n < programs; ++n) {
            if (device->writeProgram(programText(n), n) != 0)
                qFatal("write %d failed", n);
        }
        floor << msSince(clock);

        UpLoadDialog folder;
        folder.insertFile(QFileInfo(dir.path()));
        folderLines << folder.programRoot()->childCount();
    }
    std::printf("\n## The upload dialog with %d program files\n\n", programs);
    std::printf(
        "| listed and painted, ms | scrolled, ms a page | written, ms (per line) | the link alone, ms (per "
        "program) | ratio | lines listed for the folder dropped |\n|---|---|---|---|---|---|\n");
    std::printf("| %.0f | %.2f | %.0f (%.2f) | %.0f (%.2f) | %.2f | %.0f |\n", median(listed),
                median(perPage), median(written), median(written) / programs, median(floor),
                median(floor) / programs, median(written) / median(floor), median(folderLines));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 3;
    const int programs = argc > 2 ? qBound(1, QByteArray(argv[2]).toInt(), 10000) : 10000;

    QTemporaryDir home; // Configure.xml is read and written in the working folder
    if (!home.isValid() || !QDir::setCurrent(home.path()))
        qFatal("no working folder");
    ConfigStore::instance()->resetToDefaults();
    SimulatedCard card("127.0.0.81", 1502);
    // A time-out that a machine busy with other work does not reach: the
    // simulator answers from this same thread.
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = 1502;
    settings.Timeout = 2000;
    ConfigStore::instance()->setModbusSettings(settings);
    card.controller.setRequestLogLimit(1);
    for (int n = 0; n < programs; ++n)
        card.controller.setProgram(n, programText(n));
    if (!card.connect() ||
        !QTest::qWaitFor([&] { return card.connect()->device()->stateCode() == 3; }, 10000))
        qFatal("simulated controller not reached");
    std::printf("# %d programs on the controller, %d rounds\n", programs, rounds);

    programList(card, rounds);
    uploadDialog(card, programs, rounds);
    return 0;
}
