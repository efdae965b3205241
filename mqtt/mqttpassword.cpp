#include "mqtt/mqttpassword.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <qt5keychain/keychain.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MqttPassword {

namespace {

const QString kService = QStringLiteral("vexa-assistant");

// Closes the descriptor on every way out.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

QByteArray readFile(const QString &path, Refusal *refusal)
{
    Refusal dummy = Refusal::None;
    Refusal &why = refusal ? *refusal : dummy;
    why = Refusal::None;
    // Opened first and checked on what was opened, so the file cannot be
    // swapped between the check and the read; without blocking, so a named
    // pipe does not hold the program up.
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info = {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        why = Refusal::Missing;
        return QByteArray();
    }
    if (!S_ISREG(info.st_mode)) {
        why = Refusal::NotPlainFile;
        return QByteArray();
    }
    if (info.st_uid != ::geteuid()) {
        why = Refusal::NotOwner;
        return QByteArray();
    }
    if (info.st_mode & (S_IRGRP | S_IROTH)) {
        why = Refusal::OthersCanRead;
        return QByteArray();
    }
    if (info.st_size > MaxFileBytes) {
        why = Refusal::TooLarge;
        return QByteArray();
    }
    QByteArray bytes(int(MaxFileBytes) + 1, Qt::Uninitialized);
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + total, size_t(bytes.size() - total));
        if (n <= 0)
            break;
        total += n;
    }
    if (total > MaxFileBytes) {
        why = Refusal::TooLarge;
        return QByteArray();
    }
    bytes.truncate(int(total));
    const int end = bytes.indexOf('\n');
    if (end >= 0)
        bytes.truncate(end);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return bytes;
}

Lookup fromEnvironmentOrFile(const MqttSettings &settings)
{
    Lookup lookup;
    if (qEnvironmentVariableIsSet(EnvironmentVariable)) {
        lookup.source = Source::Environment;
        lookup.password = qgetenv(EnvironmentVariable);
    } else if (!settings.PasswordFile.isEmpty()) {
        lookup.source = Source::File;
        lookup.password = readFile(settings.PasswordFile, &lookup.refusal);
    }
    return lookup;
}

QString keyringKey(const MqttSettings &settings)
{
    return QStringLiteral("mqtt:%1@%2:%3").arg(settings.User, settings.Host).arg(settings.Port);
}

void readKeyring(const MqttSettings &settings, QObject *context,
                 const std::function<void(const Lookup &)> &done)
{
    auto *job = new QKeychain::ReadPasswordJob(kService);
    job->setAutoDelete(true);
    job->setKey(keyringKey(settings));
    const QPointer<QObject> guard(context);
    QObject::connect(job, &QKeychain::Job::finished, context, [guard, done](QKeychain::Job *finished) {
        if (!guard)
            return;
        Lookup lookup;
        lookup.source = Source::Keyring;
        if (finished->error() == QKeychain::NoError)
            lookup.password = static_cast<QKeychain::ReadPasswordJob *>(finished)->binaryData();
        else if (finished->error() != QKeychain::EntryNotFound)
            lookup.keyringError = finished->errorString();
        done(lookup);
    });
    job->start();
}

void writeKeyring(const MqttSettings &settings, const QByteArray &password, QObject *context,
                  const std::function<void(bool ok, const QString &error)> &done)
{
    auto *job = new QKeychain::WritePasswordJob(kService);
    job->setBinaryData(password);
    job->setAutoDelete(true);
    job->setKey(keyringKey(settings));
    const QPointer<QObject> guard(context);
    QObject::connect(job, &QKeychain::Job::finished, context, [guard, done](QKeychain::Job *finished) {
        if (!guard)
            return;
        const bool ok = finished->error() == QKeychain::NoError;
        done(ok, ok ? QString() : finished->errorString());
    });
    job->start();
}

QString describe(const Lookup &lookup, const MqttSettings &settings)
{
    switch (lookup.source) {
    case Source::Environment:
        return QCoreApplication::translate("MqttPassword", "密码取自环境变量 VEXA_MQTT_PASSWORD");
    case Source::File:
        switch (lookup.refusal) {
        case Refusal::None:
            return QCoreApplication::translate("MqttPassword", "密码取自文件 %1").arg(settings.PasswordFile);
        case Refusal::Missing:
            return QCoreApplication::translate("MqttPassword", "密码文件 %1 无法打开，未连接")
                .arg(settings.PasswordFile);
        case Refusal::NotPlainFile:
            return QCoreApplication::translate("MqttPassword", "密码文件 %1 不是普通文件，未连接")
                .arg(settings.PasswordFile);
        case Refusal::NotOwner:
            return QCoreApplication::translate("MqttPassword", "密码文件 %1 不属于当前用户，未连接")
                .arg(settings.PasswordFile);
        case Refusal::OthersCanRead:
            return QCoreApplication::translate("MqttPassword",
                                               "密码文件 %1 其他用户可读（应为 chmod 600），未连接")
                .arg(settings.PasswordFile);
        case Refusal::TooLarge:
            return QCoreApplication::translate("MqttPassword", "密码文件 %1 过大，未连接")
                .arg(settings.PasswordFile);
        }
        break;
    case Source::Keyring:
        if (!lookup.keyringError.isEmpty())
            return QCoreApplication::translate("MqttPassword",
                                               "无法使用系统密钥环（%1）；可用 VEXA_MQTT_PASSWORD 或密码文件")
                .arg(lookup.keyringError);
        if (lookup.password.isEmpty())
            return QCoreApplication::translate("MqttPassword", "系统密钥环中没有此代理的密码");
        return QCoreApplication::translate("MqttPassword", "密码保存在系统密钥环中");
    case Source::None:
        break;
    }
    return QCoreApplication::translate("MqttPassword",
                                       "无密码（无密钥环时可用 VEXA_MQTT_PASSWORD 或密码文件）");
}

} // namespace MqttPassword
