// Cost of the parameter page's work on a full SYS.PAR: one section lookup,
// the label rebuild after a load, building the catalogue and showing a group.
#include "views/dialogs.h"
#include "views/parcatalogue.h"
#include "views/parform.h"
#include "views/syspar.h"

#include <QFile>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString millSample()
{
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/SYS.PAR"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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

QTEST_MAIN(BenchParameters)
#include "bench_parameters.moc"
