#include "views/parform.h"

#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "link/devicestatus.h"
#include "link/protocol.h"
#include "ui_parform.h"
#include "views/dialogs.h"
#include "views/readstatusline.h"

#include <QHeaderView>
#include <QPointer>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>

namespace {

const char FileName[] = "SYS.PAR";
constexpr int StretchedRows = 32;
constexpr int GroupRole = Qt::UserRole;
constexpr int EntryRole = Qt::UserRole + 1;

// Set while a group is being put on the table, for every page of the process.
bool s_groupDisplayInProgress = false;

class GroupDisplay
{
public:
    GroupDisplay() { s_groupDisplayInProgress = true; }
    ~GroupDisplay() { s_groupDisplayInProgress = false; }
    GroupDisplay(const GroupDisplay &) = delete;
    GroupDisplay &operator=(const GroupDisplay &) = delete;
};

} // namespace

ParForm::ParForm(QWidget *parent)
    : QWidget(parent), ui(new Ui::ParForm), m_bitDescriptions(ParCatalogue::bitDescriptions())
{
    ui->setupUi(this);
    fillTree();
    ui->stackedWidget_contain->setCurrentIndex(0);
    for (int column = 1; column <= 3; ++column)
        ui->treeWidget_sysParams->setColumnHidden(column, true);
    ui->tableWidget_PARcontain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->pushButton_downLoad->setEnabled(false);
    m_readStatus = new ReadStatusLine(this);
    ui->verticalLayout->addWidget(m_readStatus);

    m_fetchTimer = new QTimer(this);
    m_fetchTimer->setSingleShot(true);
    connect(m_fetchTimer, &QTimer::timeout, this, &ParForm::fetch);

    const auto fetchNow = [this] {
        m_busy.reset();
        fetch();
    };
    connect(ui->pushButton_cncPar, &QPushButton::clicked, this, fetchNow);
    connect(ui->pushButton_refreshCoordNumber, &QPushButton::clicked, this, fetchNow);
    connect(ui->pushButton_pcPar, &QPushButton::clicked, this, [this] { openLocalFile(); });
    connect(ui->pushButton_downLoad, &QPushButton::clicked, this, [this] { saveToLocalFile(); });
    connect(ui->treeWidget_sysParams, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { showGroup(item); });
    connect(ui->tableWidget_PARcontain, &QTableWidget::currentCellChanged, this,
            [this](int, int column) { explainCell(column); });
    if (DeviceManager *devices = DeviceManager::instance())
        connect(devices, &DeviceManager::selectedDeviceChanged, this, &ParForm::dropShownController);
}

ParForm::~ParForm()
{
    delete ui;
}

void ParForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The read starts once the show has completed, not inside the show event.
    m_busy.reset();
    m_fetchTimer->start(0);
}

void ParForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_fetchTimer->stop();
}

void ParForm::fetch()
{
    m_fetchTimer->stop();
    if (m_reading)
        return; // the read under way brings the text
    QPointer<ParForm> self(this);
    const int result = loadFromController();
    if (!self)
        return;
    if (result == Result::Busy && m_busy.isWaiting())
        m_fetchTimer->start(BusyRetry::IntervalMs);
    else
        m_busy.reset();
}

// The text, its table and its counts are the previous controller's: none is
// left, and a read of that controller still waiting brings nothing.
void ParForm::dropShownController()
{
    ++m_selection;
    setParameters(TextCodec::DecodedText());
    m_labels = SysPar::RowLabels();
    for (QSpinBox *count : {ui->spinBox_can, ui->spinBox_coord, ui->spinBox_mainCoord})
        count->setValue(0);
    clearTable();
    m_descriptions.clear();
    m_readStatus->reset();
    if (isVisible()) {
        m_busy.reset();
        m_fetchTimer->start(0);
    }
}

void ParForm::fillTree()
{
    QTreeWidget *tree = ui->treeWidget_sysParams;
    tree->setSortingEnabled(false);
    // The catalogue is the controller's own vocabulary: it reads the same in
    // both languages and is not translated.
    const QVector<ParCatalogue::Group> &groups = ParCatalogue::groups();
    for (int g = 0; g < groups.size(); ++g) {
        auto *top = new QTreeWidgetItem(tree);
        top->setText(0, groups.at(g).name);
        const QVector<ParCatalogue::Entry> &entries = groups.at(g).entries;
        for (int e = 0; e < entries.size(); ++e) {
            const ParCatalogue::Entry &entry = entries.at(e);
            auto *item = new QTreeWidgetItem(top);
            item->setText(0, entry.title);
            item->setText(1, entry.key);
            item->setText(2, ParCatalogue::rowKindText(entry.rowKind));
            item->setText(3, QString::number(entry.columns));
            item->setData(0, GroupRole, g);
            item->setData(0, EntryRole, e);
        }
    }
}

const ParCatalogue::Entry *ParForm::entryOf(const QTreeWidgetItem *item) const
{
    if (!item || !item->parent())
        return nullptr;
    const QVector<ParCatalogue::Group> &groups = ParCatalogue::groups();
    const int g = item->data(0, GroupRole).toInt();
    const int e = item->data(0, EntryRole).toInt();
    if (g < 0 || g >= groups.size() || e < 0 || e >= groups.at(g).entries.size())
        return nullptr;
    return &groups.at(g).entries.at(e);
}

QString ParForm::parameterText() const
{
    return m_parameters.text;
}

int ParForm::loadFromController()
{
    if (m_reading)
        return Result::Busy;
    QPointer<ParForm> self(this);
    const quint64 generation = m_textGeneration;
    const quint64 selection = m_selection;
    m_reading = true;
    QByteArray bytes;
    DeviceManager *devices = DeviceManager::instance();
    const int result =
        devices ? devices->readSystemFile(&bytes, QString::fromLatin1(FileName)) : Result::NoDevice;
    if (!self)
        return result; // the page went away while the read waited
    m_reading = false;
    m_lastResult = result;
    if (selection != m_selection) {
        // The text is of a controller no longer selected: the page asks the
        // one selected now instead.
        if (isVisible())
            m_fetchTimer->start(0);
        return result;
    }
    // A local file opened while the read waited is the newer choice.
    if (generation != m_textGeneration)
        return result;
    // A refusal that the page tries again is not yet a failure.
    if (result != Result::Busy || !m_busy.again(DeviceManager::selectedModbusDevice()))
        m_readStatus->setResult(result);
    if (result == Result::Ok)
        setParameters(TextCodec::decodeFromController(bytes));
    return result;
}

void ParForm::openLocalFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString path =
        Dialogs::openFileName(this, tr("打开SYS文件"), folder, QString::fromLatin1(FileName));
    if (path.isEmpty())
        return;
    // No controller holds a longer text; a larger file the user picks by
    // mistake is not read into memory whole.
    QByteArray bytes;
    if (ConfigStore::readFileBytes(path, &bytes, Protocol::MaxTextBytes))
        setParameters(TextCodec::decodeFromFile(bytes));
}

void ParForm::saveToLocalFile()
{
    if (parameterText().isEmpty())
        return;
    // The pane is read-only: the bytes that came are the text shown.
    const QByteArray bytes = m_parameters.bytes;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString proposed = folder.isEmpty() ? QString::fromLatin1(FileName)
                                              : folder + QLatin1Char('/') + QLatin1String(FileName);
    const QString path = Dialogs::saveFileName(this, tr("数据存放地址"), proposed, QString());
    if (path.isEmpty())
        return;
    if (ConfigStore::writeFileBytes(path, bytes)) {
        Dialogs::information(this, tr("信息"), tr("文件:%1下载完成").arg(QLatin1String(FileName)));
    } else {
        Dialogs::message(this, QMessageBox::Warning, tr("信息"),
                         tr("文件:%1下载失败").arg(QLatin1String(FileName)),
                         {Dialogs::Button{tr("OK"), QMessageBox::AcceptRole}});
    }
}

void ParForm::setParameters(const TextCodec::DecodedText &parameters)
{
    ++m_textGeneration;
    m_parameters = parameters;
    const QString &text = m_parameters.text;
    ui->textEdit->setPlainText(text);
    ui->pushButton_downLoad->setEnabled(!text.isEmpty());
    if (SysPar::rebuildRowLabels(text, &m_labels)) {
        ui->spinBox_can->setValue(m_labels.channels.size());
        ui->spinBox_coord->setValue(m_labels.axes.size());
        ui->spinBox_mainCoord->setValue(m_labels.spindles.size());
    }
}

void ParForm::showGroup(QTreeWidgetItem *item)
{
    if (s_groupDisplayInProgress)
        return;
    const ParCatalogue::Entry *entry = entryOf(item);
    const QString text = parameterText();
    if (!entry || text.isEmpty())
        return;
    const GroupDisplay display;

    // One row more than shown tells that the section goes on.
    const QStringList rows = SysPar::readSection(text, entry->key, ParCatalogue::MaxTableRows + 1);
    if (rows.isEmpty())
        return; // the table keeps what it showed

    clearTable();
    QTableWidget *table = ui->tableWidget_PARcontain;
    const QSignalBlocker blocker(table);

    const bool bits = entry->columns == ParCatalogue::BitColumns;
    const ParCatalogue::Table cells = ParCatalogue::table(*entry, rows, m_labels);
    ui->label_paramName->setText(
        cells.cut ? item->text(0) + tr("（仅显示前%1行）").arg(ParCatalogue::MaxTableRows) : item->text(0));
    table->setRowCount(cells.headers.size());
    table->setColumnCount(entry->columns);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // A few rows share the table's height; more keep their height and scroll.
    table->verticalHeader()->setSectionResizeMode(cells.headers.size() <= StretchedRows ? QHeaderView::Stretch
                                                                                        : QHeaderView::Fixed);
    table->setVerticalHeaderLabels(cells.headers);
    for (int i = 0; i < cells.cells.size(); ++i) {
        for (int j = 0; j < cells.cells.at(i).size(); ++j)
            table->setItem(i, j, new QTableWidgetItem(cells.cells.at(i).at(j)));
    }
    // A value cell may be edited in place; the edit stays in the table only.
    table->setEditTriggers(bits ? QAbstractItemView::NoEditTriggers : QAbstractItemView::DoubleClicked);
    m_descriptions = bits ? ParCatalogue::descriptionsFor(m_bitDescriptions, entry->key) : QStringList();
}

// No current-cell signal may explain a cell with the previous group's list
// while the table changes; a new table starts without a current cell.
void ParForm::clearTable()
{
    QTableWidget *table = ui->tableWidget_PARcontain;
    const QSignalBlocker blocker(table);
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(0);
    ui->label_annote->clear();
}

void ParForm::explainCell(int column)
{
    if (ui->tableWidget_PARcontain->columnCount() != ParCatalogue::BitColumns)
        return;
    if (column < 0) {
        ui->label_annote->clear();
        return;
    }
    ui->label_annote->setText(ParCatalogue::explanation(m_descriptions, column));
}
