#include "servers.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <memory>

namespace sim {

struct PtyPair::Private
{
    std::unique_ptr<QProcess> process;
    QString first;
    QString second;
};

PtyPair::PtyPair() : d(new Private) {}

PtyPair::~PtyPair()
{
    if (d->process && d->process->state() != QProcess::NotRunning) {
        d->process->kill();
        d->process->waitForFinished(3000);
    }
    delete d;
}

bool PtyPair::start(int timeoutMs)
{
    if (d->process)
        return !d->first.isEmpty() && !d->second.isEmpty();
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (socat.isEmpty())
        return false;
    d->process = std::make_unique<QProcess>();
    d->process->setProcessChannelMode(QProcess::SeparateChannels);
    d->process->start(socat, {QStringLiteral("-d"), QStringLiteral("-d"), QStringLiteral("pty,raw,echo=0"),
                              QStringLiteral("pty,raw,echo=0")});
    d->process->setReadChannel(QProcess::StandardError);
    if (!d->process->waitForStarted(timeoutMs))
        return false;

    // socat names each end on stderr ("... PTY is /dev/pts/N") and then says
    // it is starting its transfer loop; only then do bytes go across.
    static const QRegularExpression ptyLine(QStringLiteral("PTY is (\\S+)"));
    QByteArray log;
    QStringList names;
    bool looping = false;
    QDeadlineTimer deadline(timeoutMs);
    while (!looping && !deadline.hasExpired() && d->process->state() == QProcess::Running) {
        if (!d->process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            continue;
        log.append(d->process->readAllStandardError());
        int newline;
        while ((newline = log.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(log.left(newline));
            log.remove(0, newline + 1);
            const QRegularExpressionMatch m = ptyLine.match(line);
            if (m.hasMatch())
                names.append(m.captured(1));
            if (line.contains(QLatin1String("starting data transfer loop")))
                looping = true;
        }
    }
    if (names.size() < 2) {
        d->process->kill();
        d->process->waitForFinished(3000);
        return false;
    }
    d->first = names.at(0);
    d->second = names.at(1);
    return true;
}

QString PtyPair::first() const
{
    return d->first;
}
QString PtyPair::second() const
{
    return d->second;
}

} // namespace sim
