// vexa-sim: the controller simulator as a stand-alone Modbus server.
#include "sim/controller.h"
#include "sim/farm.h"
#include "sim/servers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool parseNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "vexa-sim: " << message << '\n';
    return 2;
}

// --control: lines "INDEX running|alarm|idle" on standard input set the run
// state of the controller with that index (from 0). Each change is answered
// on standard output with "set INDEX STATE MS", and the first status read of
// that controller after it with "seen INDEX STATE MS" (MS: milliseconds since
// the epoch), so that a driver knows when the PC learnt of the change.
class StdinControl : public QObject
{
public:
    explicit StdinControl(std::function<sim::Controller *(int)> controllerAt, int count)
        : m_controllerAt(std::move(controllerAt)), m_count(count),
          m_notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &StdinControl::readInput);
    }

private:
    void readInput()
    {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            m_notifier.setEnabled(false); // end of input: the controllers keep running
            return;
        }
        m_pending.append(chunk, int(n));
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = m_pending.left(end).simplified().split(' ');
            m_pending.remove(0, end + 1);
            command(words);
        }
        if (m_pending.size() > 4096)
            m_pending.clear();
    }

    void command(const QList<QByteArray> &words)
    {
        static const QByteArray names[] = {"idle", "running", "alarm"};
        bool ok = false;
        const int index = words.value(0).toInt(&ok);
        const QByteArray name = words.value(1);
        const auto *known = std::find(std::begin(names), std::end(names), name);
        if (!ok || index < 0 || index >= m_count || known == std::end(names)) {
            QTextStream(stderr) << "vexa-sim: ignored control line: " << words.join(' ') << Qt::endl;
            return;
        }
        sim::Controller *controller = m_controllerAt(index);
        controller->setRunState(sim::RunState(known - std::begin(names)));
        print("set", index, name);
        disconnect(m_watches.take(index));
        m_watches.insert(index, connect(controller, &sim::Controller::requestHandled, this,
                                        [this, controller, index, name](const sim::Request &request) {
                                            if (!controller->readsRunState(request))
                                                return;
                                            disconnect(m_watches.take(index));
                                            print("seen", index, name);
                                        }));
    }

    static void print(const char *what, int index, const QByteArray &state)
    {
        std::printf("%s %d %s %lld\n", what, index, state.constData(), QDateTime::currentMSecsSinceEpoch());
        std::fflush(stdout);
    }

    std::function<sim::Controller *(int)> m_controllerAt;
    int m_count;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    QHash<int, QMetaObject::Connection> m_watches;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexa-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated CNC controller: a Modbus server with the controller's register map, "
                       "transfer window and program store, over Modbus TCP and/or Modbus RTU."));
    parser.addHelpOption();
    const QCommandLineOption addressOpt(
        QStringLiteral("address"), QStringLiteral("Address to listen on for Modbus TCP (default 127.0.0.1)."),
        QStringLiteral("ip"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOpt(
        QStringLiteral("port"),
        QStringLiteral("TCP port (default 502; users other than root need a port above 1024, e.g. 1502)."),
        QStringLiteral("port"), QStringLiteral("502"));
    const QCommandLineOption noTcpOpt(QStringLiteral("no-tcp"), QStringLiteral("Serve Modbus RTU only."));
    const QCommandLineOption stationOpt(QStringLiteral("station"),
                                        QStringLiteral("Station (server) address, 1-247 (default 10)."),
                                        QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption serialOpt(
        QStringLiteral("serial"),
        QStringLiteral(
            "Also serve Modbus RTU on this serial device (e.g. /dev/ttyUSB0 or one end of a pty pair)."),
        QStringLiteral("device"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
                                     QStringLiteral("Serial baud rate (default 115200)."),
                                     QStringLiteral("rate"), QStringLiteral("115200"));
    const QCommandLineOption parityOpt(QStringLiteral("parity"),
                                       QStringLiteral("Serial parity: none, even or odd (default odd)."),
                                       QStringLiteral("parity"), QStringLiteral("odd"));
    const QCommandLineOption dataOpt(QStringLiteral("data-bits"),
                                     QStringLiteral("Serial data bits, 5-8 (default 8)."),
                                     QStringLiteral("bits"), QStringLiteral("8"));
    const QCommandLineOption stopOpt(QStringLiteral("stop-bits"),
                                     QStringLiteral("Serial stop bits, 1 or 2 (default 1)."),
                                     QStringLiteral("bits"), QStringLiteral("1"));
    const QCommandLineOption folderOpt(
        QStringLiteral("folder"),
        QStringLiteral(
            "Folder of initial files: O<number>[.ext] become programs, every other file a system file."),
        QStringLiteral("dir"));
    const QCommandLineOption axesOpt(QStringLiteral("axes"),
                                     QStringLiteral("Number of axes, 1-9 (default 3: X Y Z)."),
                                     QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption axisCodesOpt(
        QStringLiteral("axis-codes"),
        QStringLiteral("Axis name codes, comma-separated (1 X, 2 Y, 3 Z, 4 A, 5 B, 6 C, ...; e.g. 1,3 for "
                       "a lathe's X Z); sets the number of axes."),
        QStringLiteral("c1,c2,..."));
    const QCommandLineOption channelsOpt(QStringLiteral("channels"),
                                         QStringLiteral("Number of channels, 1-16 (default 1)."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption axisChannelsOpt(
        QStringLiteral("axis-channels"),
        QStringLiteral("Channel of each axis, comma-separated, in axis order (default: every axis in "
                       "channel 1; e.g. 1,1,1,1,2,2 for a mill with a second channel of two axes)."),
        QStringLiteral("n1,n2,..."));
    const QCommandLineOption decimalsOpt(QStringLiteral("decimals"),
                                         QStringLiteral("Decimal places of the coordinates (default 3)."),
                                         QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption coilsOpt(
        QStringLiteral("coils"),
        QStringLiteral(
            "Coil numbers of the running, alarm and idle outputs, as run,alarm,idle (default none: "
            "state from the status block)."),
        QStringLiteral("r,a,i"));
    const QCommandLineOption animateOpt(
        QStringLiteral("animate"),
        QStringLiteral("Demo: axes move, counters tick, IO toggles, state changes."));
    const QCommandLineOption exceptionOpt(
        QStringLiteral("fault-exception"),
        QStringLiteral("Answer requests touching this register with exception 2 "
                       "(repeatable)."),
        QStringLiteral("address"));
    const QCommandLineOption chunkOpt(QStringLiteral("fault-chunk-bytes"),
                                      QStringLiteral("Report this byte count in every data chunk."),
                                      QStringLiteral("n"));
    const QCommandLineOption endlessDirOpt(QStringLiteral("fault-endless-directory"),
                                           QStringLiteral("The program directory never ends."));
    const QCommandLineOption endlessTextOpt(QStringLiteral("fault-endless-text"),
                                            QStringLiteral("Read transfers never end."));
    const QCommandLineOption absentOpt(
        QStringLiteral("absent-exception"),
        QStringLiteral("Answer the open of a program or file the controller does not hold with this "
                       "exception code (default 3)."),
        QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption controlOpt(
        QStringLiteral("control"),
        QStringLiteral("Read run states from standard input, a line \"INDEX running|alarm|idle\" each (INDEX "
                       "from 0 among --count controllers, 0 without); report each change and the first "
                       "status read after it on standard output. Not with --animate."));
    const QCommandLineOption countOpt(
        QStringLiteral("count"),
        QStringLiteral("Serve this many controllers over Modbus TCP, one per address from --address on (the "
                       "last octet counting up, then the one before it), each on --port; loopback "
                       "addresses (127.0.0.0/8) only."),
        QStringLiteral("n"));
    const QCommandLineOption seedOpt(
        QStringLiteral("seed"),
        QStringLiteral("With --count: where each controller's animation starts, drawn from this seed, so "
                       "that a run can be repeated (default: a new seed each run, printed)."),
        QStringLiteral("n"));
    const QCommandLineOption silentOpt(
        QStringLiteral("fault-silent"),
        QStringLiteral("With --count: the first n controllers never answer (their connections stay open)."),
        QStringLiteral("n"));
    const QCommandLineOption flappingOpt(
        QStringLiteral("fault-flapping"),
        QStringLiteral("With --count: the n controllers after the silent ones are silent for 5 s and "
                       "answer for 5 s, in turn."),
        QStringLiteral("n"));
    parser.addOptions({addressOpt,  portOpt,         noTcpOpt,       stationOpt, serialOpt,  baudOpt,
                       parityOpt,   dataOpt,         stopOpt,        folderOpt,  axesOpt,    axisCodesOpt,
                       channelsOpt, axisChannelsOpt, decimalsOpt,    coilsOpt,   animateOpt, exceptionOpt,
                       chunkOpt,    endlessDirOpt,   endlessTextOpt, countOpt,   seedOpt,    silentOpt,
                       flappingOpt, absentOpt,       controlOpt});
    parser.process(app);

    if (parser.isSet(controlOpt) && parser.isSet(animateOpt))
        return fail(QStringLiteral("--control sets the states --animate would overwrite"));
    sim::Controller controller;
    // Nobody reads the wire log of a stand-alone simulator.
    controller.setRequestLogLimit(1);
    int value = 0;
    if (!parseNumber(parser.value(stationOpt), 1, 247, &value))
        return fail(QStringLiteral("bad station address %1").arg(parser.value(stationOpt)));
    controller.setStationAddress(quint8(value));

    int axisCount = 3;
    int decimals = 3;
    if (!parseNumber(parser.value(axesOpt), 1, 9, &axisCount))
        return fail(QStringLiteral("bad axis count %1").arg(parser.value(axesOpt)));
    if (!parseNumber(parser.value(decimalsOpt), 0, 6, &decimals))
        return fail(QStringLiteral("bad decimals %1").arg(parser.value(decimalsOpt)));
    QVector<quint16> codes;
    for (int i = 0; i < axisCount; ++i)
        codes.append(quint16(i + 1)); // X Y Z A B C U V W
    if (parser.isSet(axisCodesOpt)) {
        codes.clear();
        const QStringList parts = parser.value(axisCodesOpt).split(QLatin1Char(','));
        for (const QString &part : parts) {
            if (!parseNumber(part, 0, 65535, &value) || parts.size() > 16)
                return fail(QStringLiteral("bad axis name codes %1").arg(parser.value(axisCodesOpt)));
            codes.append(quint16(value));
        }
    }
    QVector<sim::AxisConfig> axes;
    for (quint16 code : qAsConst(codes)) {
        sim::AxisConfig a;
        a.nameCode = code;
        a.decimals = quint16(decimals);
        axes.append(a);
    }
    int channels = 1;
    if (!parseNumber(parser.value(channelsOpt), 1, 16, &channels))
        return fail(QStringLiteral("bad channel count %1").arg(parser.value(channelsOpt)));
    if (parser.isSet(axisChannelsOpt)) {
        const QStringList parts = parser.value(axisChannelsOpt).split(QLatin1Char(','));
        if (parts.size() != axes.size())
            return fail(
                QStringLiteral("--axis-channels needs one channel for each of the %1 axes").arg(axes.size()));
        for (int i = 0; i < parts.size(); ++i) {
            if (!parseNumber(parts.at(i), 1, channels, &value))
                return fail(QStringLiteral("bad axis channels %1").arg(parser.value(axisChannelsOpt)));
            axes[i].channel = quint16(value);
        }
    }
    controller.setAxes(axes);
    controller.setChannelCount(quint16(channels));

    if (parser.isSet(coilsOpt)) {
        const QStringList parts = parser.value(coilsOpt).split(QLatin1Char(','));
        int run = 0, alarm = 0, idle = 0;
        if (parts.size() != 3 || !parseNumber(parts.at(0), 0, 65535, &run) ||
            !parseNumber(parts.at(1), 0, 65535, &alarm) || !parseNumber(parts.at(2), 0, 65535, &idle))
            return fail(QStringLiteral("bad coil numbers %1").arg(parser.value(coilsOpt)));
        controller.setStateCoils(run, alarm, idle);
    }
    if (parser.isSet(folderOpt) && !controller.loadFolder(parser.value(folderOpt)))
        return fail(QStringLiteral("cannot read folder %1").arg(parser.value(folderOpt)));
    for (const QString &a : parser.values(exceptionOpt)) {
        if (!parseNumber(a, 0, 65535, &value))
            return fail(QStringLiteral("bad register address %1").arg(a));
        controller.setExceptionAt(value);
    }
    if (parser.isSet(chunkOpt)) {
        if (!parseNumber(parser.value(chunkOpt), 0, 65535, &value))
            return fail(QStringLiteral("bad byte count %1").arg(parser.value(chunkOpt)));
        controller.setChunkByteCount(value);
    }
    if (!parseNumber(parser.value(absentOpt), 1, 255, &value))
        return fail(QStringLiteral("bad exception code %1").arg(parser.value(absentOpt)));
    controller.setAbsentException(quint8(value));
    controller.setEndlessDirectory(parser.isSet(endlessDirOpt));
    controller.setEndlessText(parser.isSet(endlessTextOpt));
    if (parser.isSet(animateOpt)) {
        // A machine in production: program O0001 towards a target of 500 pieces.
        controller.setPieceTarget(500);
        controller.setProgramNumber(1);
    }
    if (parser.isSet(countOpt)) {
        int count = 0, port = 0, silent = 0, flapping = 0;
        if (!parseNumber(parser.value(countOpt), 1, 65536, &count))
            return fail(QStringLiteral("bad controller count %1").arg(parser.value(countOpt)));
        if (!parseNumber(parser.value(portOpt), 1, 65535, &port))
            return fail(QStringLiteral("bad port %1").arg(parser.value(portOpt)));
        if (parser.isSet(noTcpOpt) || parser.isSet(serialOpt))
            return fail(QStringLiteral("--count serves Modbus TCP only"));
        if (parser.isSet(silentOpt) && !parseNumber(parser.value(silentOpt), 0, count, &silent))
            return fail(QStringLiteral("bad silent count %1").arg(parser.value(silentOpt)));
        if (parser.isSet(flappingOpt) &&
            !parseNumber(parser.value(flappingOpt), 0, count - silent, &flapping))
            return fail(QStringLiteral("bad flapping count %1").arg(parser.value(flappingOpt)));
        quint32 seed = QRandomGenerator::global()->generate();
        if (parser.isSet(seedOpt)) {
            bool ok = false;
            seed = parser.value(seedOpt).toUInt(&ok, 0);
            if (!ok)
                return fail(QStringLiteral("bad seed %1").arg(parser.value(seedOpt)));
        }
        // Two descriptors per controller (its server and the PC's connection).
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        sim::Farm farm;
        QString error;
        if (!farm.start(controller, QHostAddress(parser.value(addressOpt)), quint16(port), count, &error))
            return fail(error);
        farm.setSilent(0, silent);
        farm.setFlapping(silent, flapping, 5000);
        farm.setAnimated(parser.isSet(animateOpt), seed);
        std::unique_ptr<StdinControl> control;
        if (parser.isSet(controlOpt))
            control = std::make_unique<StdinControl>([&farm](int i) { return farm.controller(i); }, count);
        QTextStream(stdout) << "vexa-sim listening: Modbus TCP on " << farm.address(0).toString() << " to "
                            << farm.address(count - 1).toString() << ", port " << port << ", " << count
                            << " controllers, station " << controller.stationAddress() << ", seed " << seed
                            << Qt::endl;
        return app.exec();
    }
    controller.setAnimated(parser.isSet(animateOpt));

    QStringList listening;
    sim::TcpServer tcp(&controller);
    if (!parser.isSet(noTcpOpt)) {
        int port = 0;
        if (!parseNumber(parser.value(portOpt), 1, 65535, &port))
            return fail(QStringLiteral("bad port %1").arg(parser.value(portOpt)));
        const QHostAddress address(parser.value(addressOpt));
        if (address.isNull())
            return fail(QStringLiteral("bad address %1").arg(parser.value(addressOpt)));
        if (!tcp.listen(address, quint16(port)))
            return fail(QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port));
        listening << QStringLiteral("Modbus TCP on %1:%2").arg(address.toString()).arg(tcp.port());
    }

    sim::RtuServer rtu(&controller);
    if (parser.isSet(serialOpt)) {
        int baud = 0, dataBits = 0, stopBits = 0;
        if (!parseNumber(parser.value(baudOpt), 50, 4000000, &baud))
            return fail(QStringLiteral("bad baud rate %1").arg(parser.value(baudOpt)));
        if (!parseNumber(parser.value(dataOpt), 5, 8, &dataBits))
            return fail(QStringLiteral("bad data bits %1").arg(parser.value(dataOpt)));
        if (!parseNumber(parser.value(stopOpt), 1, 2, &stopBits))
            return fail(QStringLiteral("bad stop bits %1").arg(parser.value(stopOpt)));
        const QString parityText = parser.value(parityOpt).toLower();
        QSerialPort::Parity parity;
        if (parityText == QLatin1String("none"))
            parity = QSerialPort::NoParity;
        else if (parityText == QLatin1String("even"))
            parity = QSerialPort::EvenParity;
        else if (parityText == QLatin1String("odd"))
            parity = QSerialPort::OddParity;
        else
            return fail(QStringLiteral("bad parity %1").arg(parityText));
        const QString device = parser.value(serialOpt);
        if (!rtu.open(device, baud, parity, QSerialPort::DataBits(dataBits),
                      stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop))
            return fail(QStringLiteral("cannot open %1").arg(device));
        listening << QStringLiteral("Modbus RTU on %1").arg(device);
    }
    if (listening.isEmpty())
        return fail(QStringLiteral("nothing to serve: give --serial with --no-tcp"));

    std::unique_ptr<StdinControl> control;
    if (parser.isSet(controlOpt))
        control = std::make_unique<StdinControl>([&controller](int) { return &controller; }, 1);
    QTextStream(stdout) << "vexa-sim listening: " << listening.join(QStringLiteral(", ")) << ", station "
                        << controller.stationAddress() << Qt::endl;
    return app.exec();
}
