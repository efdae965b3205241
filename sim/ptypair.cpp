#include "servers.h"

#include <QDeadlineTimer>
#include <QFile>
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
    QString firstLink;
    QString secondLink;
};

PtyPair::PtyPair() : d(new Private) {}

PtyPair::~PtyPair()
{
    stop();
    delete d;
}

void PtyPair::setLinks(const QString &first, const QString &second)
{
    d->firstLink = first;
    d->secondLink = second;
}

void PtyPair::stop()
{
    if (d->process && d->process->state() != QProcess::NotRunning) {
        d->process->kill();
        d->process->waitForFinished(3000);
    }
    d->process.reset();
    d->first.clear();
    d->second.clear();
    // socat, killed, leaves its links behind, pointing at ends that are gone;
    // a new socat would not replace them.
    for (const QString &link : {d->firstLink, d->secondLink}) {
        if (!link.isEmpty())
            QFile::remove(link);
    }
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
    const auto end = [](const QString &link) {
        return link.isEmpty() ? QStringLiteral("pty,raw,echo=0")
                              : QStringLiteral("pty,raw,echo=0,link=") + link;
    };
    d->process->start(socat,
                      {QStringLiteral("-d"), QStringLiteral("-d"), end(d->firstLink), end(d->secondLink)});
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
    d->first = d->firstLink.isEmpty() ? names.at(0) : d->firstLink;
    d->second = d->secondLink.isEmpty() ? names.at(1) : d->secondLink;
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
