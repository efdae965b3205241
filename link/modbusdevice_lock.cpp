#include "config/configstore.h"
#include "link/busyretry.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"

#include <QDir>
#include <QLockFile>
#include <QModbusClient>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

// The controller has one transfer window. Two programs (the window and a
// backup from cron, two backups) that use it at once interleave their
// requests in it, and each saves the other's text as its own. Every transfer
// of every process of the program therefore takes the controller's lock
// first, and every text written is read back before it counts as written.

namespace {

QString lockFolder()
{
    // Computed once: without XDG_RUNTIME_DIR Qt warns at every call.
    static const QString folder = [] {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        return runtime.isEmpty() ? QDir::tempPath() : runtime;
    }();
    return folder;
}

} // namespace

QString ModbusDevice::transferLockPath() const
{
    // The address the link uses: what the client was set up with, which is
    // what reaches the controller.
    QString link;
    if (m_client && m_clientType == 1) {
        link = m_client->connectionParameter(QModbusDevice::NetworkAddressParameter).toString() +
               QLatin1Char('-') +
               m_client->connectionParameter(QModbusDevice::NetworkPortParameter).toString();
    } else if (m_client) {
        link = m_client->connectionParameter(QModbusDevice::SerialPortNameParameter).toString();
    }
    const int station = m_busyScopes > 0 ? m_sequenceStation : m_record.Address;
    QString name = QStringLiteral("vexa-transfer-%1-%2").arg(link).arg(station);
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    name.replace(unsafe, QStringLiteral("_"));
    return lockFolder() + QLatin1Char('/') + name + QStringLiteral(".lock");
}

ModbusDevice::TransferLock::TransferLock(ModbusDevice *device) : m_device(device)
{
    if (m_device->m_lockScopes > 0) {
        ++m_device->m_lockScopes;
        return;
    }
    const QString path = m_device->transferLockPath();
    auto file = std::make_unique<QLockFile>(path);
    // A transfer of a large text outlasts any age limit: only a lock whose
    // process is gone counts as stale.
    file->setStaleLockTime(0);
    QLockFile *lock = file.get();
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError && m_device->canSend()) {
        QTimer again;
        again.setInterval(BusyRetry::IntervalMs);
        QObject::connect(&again, &QTimer::timeout, &m_device->m_loop, &QEventLoop::quit);
        again.start();
        // The device's own wait is on the stack meanwhile: canSend() says no.
        const auto linkGone = [this] {
            return !m_device->linkUp() || m_device->m_releasePending || m_device->linkChanged();
        };
        m_device->waitInLoop([&] { return linkGone() || lock->tryLock(0); }, m_device->waitBoundMs());
    }
    if (lock->error() == QLockFile::LockFailedError) {
        // Held elsewhere; or the link went meanwhile, and the transfer fails
        // on that as it would have.
        m_result = m_device->canSend() ? Result::Locked : Result::OpenFailed;
        return;
    }
    // A runtime folder the lock cannot be made in stops no transfer: it runs
    // as it did before there was a lock.
    if (!lock->isLocked())
        qWarning("ModbusDevice: no transfer lock %s (error %d)", qPrintable(path), int(lock->error()));
    m_device->m_transferLock = std::move(file);
    m_device->m_lockScopes = 1;
}

ModbusDevice::TransferLock::~TransferLock()
{
    if (m_result != Result::Ok || --m_device->m_lockScopes > 0)
        return;
    m_device->m_transferLock.reset(); // unlocks
}

int ModbusDevice::verifyWritten(const QByteArray &bytes, const QVector<quint16> &readBackCommand)
{
    if (!ConfigStore::instance()->verifyAfterWrite())
        return Result::Ok;
    QByteArray back;
    const int read = receiveTransfer(readBackCommand, &back);
    if (read != Result::Ok && read != Result::CloseFailed)
        return Result::VerifyFailed;
    return back == bytes ? Result::Ok : Result::VerifyFailed;
}
