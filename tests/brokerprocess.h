#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// A mosquitto broker of the test's own on a loopback port, stopped with it.
class Broker
{
public:
    ~Broker() { kill(); }
    Broker() = default;
    Broker(const Broker &) = delete;
    Broker &operator=(const Broker &) = delete;

    // On a free port, or again on the port it had.
    bool start()
    {
        if (m_port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            m_port = probe.serverPort();
        }
        const QString conf = m_dir.filePath(QStringLiteral("broker.conf"));
        QFile file(conf);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous %2\n")
                           .arg(m_port)
                           .arg(m_anonymous ? "true" : "false")
                           .toUtf8()) < 0)
            return false;
        file.close();
        m_log.clear();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead, [this] { m_log += m_process.readAll(); });
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
        m_process.start(program, {QStringLiteral("-c"), conf});
        return QTest::qWaitFor([this] { return m_log.contains(" running"); }, 10000);
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    void kill()
    {
        m_process.disconnect();
        m_process.kill();
        m_process.waitForFinished();
    }
    quint16 port() const { return m_port; }
    bool m_anonymous = true;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    quint16 m_port = 0;
};
