#include "archive/backupcommand.h"

#include "archive/backuprunner.h"
#include "archive/restorerunner.h"
#include "config/configstore.h"
#include "link/devicewatch.h"
#include "link/exportwords.h"
#include "link/modbusdevice.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace {

const QString BackupOption = QStringLiteral("backup");
const QString AllOption = QStringLiteral("all");
const QString ToOption = QStringLiteral("to");
const QString RestoreOption = QStringLiteral("restore");
const QString DeviceOption = QStringLiteral("device");
const QString YesOption = QStringLiteral("yes");
const QString UncheckedOption = QStringLiteral("unchecked");
const QString ForceOption = QStringLiteral("force");

// How often the wait for a connection looks at the device.
constexpr int ConnectCheckMs = 20;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void say(const QString &line)
{
    out() << line << '\n';
    out().flush();
}

void complain(const QString &line)
{
    err() << line << '\n';
    err().flush();
}

// Runs the loop until done() holds or the time is up.
bool waitFor(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    const QDeadlineTimer deadline(boundMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(ConnectCheckMs);
    loop.exec();
    return done();
}

// One controller of the configuration with its link kept up, as a card keeps
// it; its writes go to the audit.
class Connection
{
public:
    Connection(const DeviceRecord &record, const BackupCommand::Audit &audit)
        : m_device(new ModbusDevice), m_watch(m_device)
    {
        m_device->setRecord(record.cleaned());
        if (audit) {
            QObject::connect(&m_watch, &DeviceWatch::operationFinished,
                             [record, audit](const DeviceEvent &event) {
                                 const QString kind = ExportWords::changeOperation(event.kind);
                                 if (!kind.isEmpty())
                                     audit(record, kind, event.target, event.result, event.bytes);
                             });
        }
    }
    ~Connection()
    {
        m_watch.setOn(false);
        m_device->releaseWhenIdle();
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Up and its state read (running, alarm or idle), within a few
    // connection attempts' time.
    bool open()
    {
        m_watch.setOn(true);
        // A few connection attempts, and the set-up's few dozen requests.
        const ModbusSettings link = ConfigStore::instance()->modbusSettings();
        const int bound = 3000 + 8 * qMax(0, link.Timeout) * (link.NumberOfRetries + 1);
        return waitFor(
            [this] {
                const int state = m_watch.snapshot().state;
                return m_device->isReady() && state != DeviceState::NotConnected &&
                       state != DeviceState::Connecting;
            },
            bound);
    }
    ModbusDevice *device() const { return m_device; }

private:
    ModbusDevice *m_device; // released when idle
    DeviceWatch m_watch;
};

QString rowText(const Manifest::Row &row, const QString &detail)
{
    switch (row.outcome) {
    case Manifest::Outcome::Saved:
        if (row.name == BackupRunner::directoryItem())
            return BackupCommand::tr("%1\t已读取 %2 个程序").arg(row.name).arg(row.size);
        return BackupCommand::tr("%1\t已保存 %2 字节").arg(row.name).arg(row.size);
    case Manifest::Outcome::Absent:
        return BackupCommand::tr("%1\t控制器上没有").arg(row.name);
    case Manifest::Outcome::Failed:
        break;
    }
    return BackupCommand::tr("%1\t失败: %2").arg(row.name, detail);
}

int backupOne(const DeviceRecord &record, const QString &root, const BackupCommand::Audit &audit)
{
    Connection link(record, audit);
    if (!link.open()) {
        say(BackupCommand::tr("%1: 无法连接控制器，未备份").arg(record.Name));
        if (audit)
            audit(record, QStringLiteral("backup"), QString(), 1, 0);
        return BackupCommand::ItemFailed;
    }
    BackupRunner runner(link.device());
    runner.setBackupRoot(root);
    QObject::connect(&runner, &BackupRunner::itemFinished,
                     [](const Manifest::Row &row, const QString &detail) { say(rowText(row, detail)); });
    QEventLoop loop;
    QObject::connect(&runner, &BackupRunner::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    runner.start();
    if (runner.isRunning())
        loop.exec();
    const BackupRunner::Summary summary = runner.summary();
    say(BackupCommand::tr("%1: %2 个已保存, %3 个失败, 备份在 %4")
            .arg(record.Name)
            .arg(summary.saved)
            .arg(summary.failed)
            .arg(QDir::toNativeSeparators(runner.plannedFolder())));
    if (audit) {
        qint64 bytes = 0;
        for (const Manifest::Row &row : runner.rows())
            bytes += row.outcome == Manifest::Outcome::Saved ? row.size : 0;
        audit(record, QStringLiteral("backup"), QFileInfo(runner.plannedFolder()).fileName(),
              summary.complete() ? 0 : 1, bytes);
    }
    return summary.complete() ? BackupCommand::Done : BackupCommand::ItemFailed;
}

int restore(const DeviceRecord &record, const QString &folder, bool yes, bool unchecked, bool force,
            const BackupCommand::Audit &audit)
{
    QString why;
    const QList<BackupItem> all = readBackupFolder(folder, &why);
    if (!why.isEmpty()) {
        complain(why);
        return BackupCommand::UsageError;
    }
    // The mill's SYS.PAR on the lathe is no restore.
    const QString other = otherDeviceText(readBackupDevice(folder), record);
    if (!other.isEmpty() && !force) {
        complain(BackupCommand::tr("%1；未写入 (加 --force 仍写入)").arg(other));
        return BackupCommand::UsageError;
    }
    // Only what the manifest vouches for is written, unless --unchecked.
    QList<BackupItem> items;
    int refused = 0;
    for (const BackupItem &item : all) {
        QString problem = item.problem;
        if (problem.isEmpty() && item.unchecked && !unchecked)
            problem = BackupCommand::tr("%1 (加 --unchecked 写入)").arg(RestoreRunner::uncheckedText());
        if (!problem.isEmpty()) {
            ++refused;
            say(BackupCommand::tr("%1\t不会写入: %2").arg(item.name, problem));
        } else if (!yes) {
            say(BackupCommand::tr("%1\t将写入 %2 字节").arg(item.name).arg(item.size));
        } else {
            items.append(item);
        }
    }
    if (!yes) {
        say(BackupCommand::tr("%1: 未写入任何内容 (加 --yes 写入)").arg(record.Name));
        return refused == 0 ? BackupCommand::Done : BackupCommand::ItemFailed;
    }

    Connection link(record, audit);
    if (!link.open()) {
        say(BackupCommand::tr("%1: 无法连接控制器，未写入").arg(record.Name));
        return BackupCommand::ItemFailed;
    }
    RestoreRunner runner(link.device());
    QObject::connect(&runner, &RestoreRunner::itemFinished,
                     [](const QString &name, int, const QString &detail) {
                         say(QStringLiteral("%1\t%2").arg(name, detail));
                     });
    QEventLoop loop;
    QObject::connect(&runner, &RestoreRunner::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    runner.start(items);
    loop.exec();
    say(BackupCommand::tr("%1: %2 个已写入, %3 个失败")
            .arg(record.Name)
            .arg(runner.written())
            .arg(runner.failed() + refused));
    return runner.failed() + refused == 0 ? BackupCommand::Done : BackupCommand::ItemFailed;
}

} // namespace

void BackupCommand::addOptions(QCommandLineParser *parser)
{
    parser->addOption(
        {BackupOption, tr("备份名为 <name> (或 Id 为 <name>) 的设备的全部程序和系统文件。"), tr("name")});
    parser->addOption({AllOption, tr("备份 Configure.xml 中的每个设备。")});
    parser->addOption({ToOption, tr("备份存放的文件夹 (默认: Configure.xml 旁的 backups/)。"), tr("dir")});
    parser->addOption(
        {RestoreOption, tr("把备份文件夹 <folder> 中的每个文件写入 --device 指定的设备。"), tr("folder")});
    parser->addOption({DeviceOption, tr("--restore 写入的设备名 (或其 Id)。"), tr("name")});
    parser->addOption({YesOption, tr("真正写入；没有它 --restore 只列出将写入的内容。")});
    parser->addOption({UncheckedOption, tr("--restore 也写入备份清单没有列出的文件。")});
    parser->addOption({ForceOption, tr("备份来自另一设备时仍写入。")});
}

bool BackupCommand::wanted(const QCommandLineParser &parser)
{
    return parser.isSet(BackupOption) || parser.isSet(AllOption) || parser.isSet(RestoreOption);
}

QStringList BackupCommand::arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

int BackupCommand::run(const QCommandLineParser &parser, const Audit &audit)
{
    const bool backup = parser.isSet(BackupOption) || parser.isSet(AllOption);
    const bool restoring = parser.isSet(RestoreOption);
    if (!parser.unknownOptionNames().isEmpty()) {
        complain(tr("未知选项: %1").arg(parser.unknownOptionNames().join(QStringLiteral(", "))));
        return UsageError;
    }
    if (backup == restoring || (parser.isSet(BackupOption) && parser.isSet(AllOption)) ||
        (parser.isSet(BackupOption) && parser.value(BackupOption).isEmpty()) ||
        (restoring && (parser.value(RestoreOption).isEmpty() || parser.value(DeviceOption).isEmpty())) ||
        (restoring && (!parser.isSet(DeviceOption) || parser.isSet(ToOption))) ||
        (backup && (parser.isSet(DeviceOption) || parser.isSet(YesOption) || parser.isSet(UncheckedOption) ||
                    parser.isSet(ForceOption)))) {
        complain(tr("用法: vexa-assistant --backup NAME|--all [--to DIR] 或 --restore FOLDER --device NAME "
                    "[--yes] [--unchecked] [--force]"));
        return UsageError;
    }

    const QList<DeviceRecord> devices = ConfigStore::instance()->devices();
    const QString wantedName = parser.value(restoring ? DeviceOption : BackupOption);
    QList<DeviceRecord> chosen;
    for (const DeviceRecord &record : devices) {
        if (parser.isSet(AllOption) || record.Name == wantedName || record.Id == wantedName) {
            chosen.append(record);
            if (!parser.isSet(AllOption))
                break;
        }
    }
    if (chosen.isEmpty()) {
        complain(parser.isSet(AllOption) ? tr("Configure.xml 中没有设备")
                                         : tr("Configure.xml 中没有名为 \"%1\" 的设备").arg(wantedName));
        return UsageError;
    }

    if (restoring)
        return restore(chosen.first(), parser.value(RestoreOption), parser.isSet(YesOption),
                       parser.isSet(UncheckedOption), parser.isSet(ForceOption), audit);

    const QString root = parser.isSet(ToOption) ? QFileInfo(parser.value(ToOption)).absoluteFilePath()
                                                : BackupRunner::configuredRoot();
    int exit = Done;
    for (const DeviceRecord &record : chosen)
        exit = qMax(exit, backupOne(record, root, audit));
    return exit;
}
