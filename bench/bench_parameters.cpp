// Cost of the parameter page's work on a full SYS.PAR: one section lookup,
// the label rebuild after a load, building the catalogue and showing a group;
// and showing groups of a 10 MB SYS.PAR whose numbered section has 100,000
// lines, against the same groups of the mill sample.
#include "views/dialogs.h"
#include "views/parcatalogue.h"
#include "views/parform.h"
#include "views/syspar.h"

#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString millSample()
{
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/SYS.PAR"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The mill sample behind a numbered section ("[ADDRi]", entry 2720) of
// 100,000 lines of 100 bytes each.
QByteArray hugeSample()
{
    QByteArray bytes("[ADDRi]\n");
    const QByteArray line = QByteArray(99, '7') + '\n';
    bytes.reserve(100000 * line.size() + 16 * 1024);
    for (int i = 0; i < 100000; ++i)
        bytes += line;
    return bytes + millSample().toUtf8();
}

// A page holding the text of the file at path, as "从PC获取参数" puts it in.
void openFile(ParForm *form, const QString &path)
{
    Dialogs::setResponder([&path](const Dialogs::Request &) {
        Dialogs::Answer answer;
        answer.path = path;
        return answer;
    });
    form->openLocalFile();
    Dialogs::setResponder({});
}

QTreeWidgetItem *entryItem(ParForm *form, int number)
{
    const QString prefix = QStringLiteral("（%1").arg(number, 4, 10, QLatin1Char('0'));
    for (QTreeWidgetItemIterator it(form->findChild<QTreeWidget *>("treeWidget_sysParams")); *it; ++it) {
        if ((*it)->parent() && (*it)->text(0).startsWith(prefix))
            return *it;
    }
    return nullptr;
}

} // namespace

class BenchParameters : public QObject
{
    Q_OBJECT

private slots:
    void readLastSection();
    void rebuildRowLabels();
    void bitDescriptionMap();
    void constructPage();
    void showEveryGroup();
    void showGroupOfHugeFile_data();
    void showGroupOfHugeFile();
    void openHugeFile();
};

void BenchParameters::readLastSection()
{
    const QString text = millSample();
    QStringList rows;
    QBENCHMARK
    {
        rows = SysPar::readSection(text, QStringLiteral("[CHSU3n]"));
    }
    QCOMPARE(rows.size(), 1);
}

void BenchParameters::rebuildRowLabels()
{
    const QString text = millSample();
    SysPar::RowLabels labels;
    QBENCHMARK
    {
        SysPar::rebuildRowLabels(text, &labels);
    }
    QCOMPARE(labels.axes.size(), 6);
}

void BenchParameters::bitDescriptionMap()
{
    int entries = 0;
    QBENCHMARK
    {
        entries = 0;
        for (const ParCatalogue::Group &group : ParCatalogue::groups())
            entries += group.entries.size();
        entries += ParCatalogue::bitDescriptions().size();
    }
    QCOMPARE(entries, 541 + 83);
}

void BenchParameters::constructPage()
{
    QBENCHMARK
    {
        ParForm form;
    }
}

// Every entry of the tree double-clicked once, on the mill sample.
void BenchParameters::showEveryGroup()
{
    const QString path = QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/SYS.PAR");
    ParForm form;
    auto *tree = form.findChild<QTreeWidget *>("treeWidget_sysParams");
    auto *table = form.findChild<QTableWidget *>("tableWidget_PARcontain");
    form.show();
    Dialogs::setResponder([&path](const Dialogs::Request &) {
        Dialogs::Answer answer;
        answer.path = path;
        return answer;
    });
    form.openLocalFile();
    Dialogs::setResponder({});
    QVERIFY(!form.parameterText().isEmpty());
    QBENCHMARK
    {
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            emit tree->itemDoubleClicked(*it, 0);
    }
    QVERIFY(table->rowCount() > 0);
}

void BenchParameters::showGroupOfHugeFile_data()
{
    QTest::addColumn<bool>("huge");
    QTest::addColumn<int>("entry");
    // 2720 is the 100,000-line section; 1 comes after it, 9081 is the last
    // entry of the page.
    for (int entry : {2720, 1, 9081}) {
        QTest::addRow("%d, mill sample", entry) << false << entry;
        QTest::addRow("%d, 10 MB", entry) << true << entry;
    }
}

void BenchParameters::showGroupOfHugeFile()
{
    QFETCH(bool, huge);
    QFETCH(int, entry);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SYS.PAR"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(huge ? hugeSample() : millSample().toUtf8());
    file.close();
    ParForm form;
    form.show();
    openFile(&form, path);
    QTreeWidgetItem *item = entryItem(&form, entry);
    QVERIFY(item);
    auto *tree = form.findChild<QTreeWidget *>("treeWidget_sysParams");
    QBENCHMARK
    {
        emit tree->itemDoubleClicked(item, 0);
        QCoreApplication::processEvents();
    }
}

// Putting the 10 MB text in place: reading, decoding, the text pane, the labels.
void BenchParameters::openHugeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SYS.PAR"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(hugeSample());
    file.close();
    ParForm form;
    form.show();
    QBENCHMARK_ONCE
    {
        openFile(&form, path);
        QCoreApplication::processEvents();
    }
    QVERIFY(form.parameterText().size() > 10000000);
}

QTEST_MAIN(BenchParameters)
#include "bench_parameters.moc"
