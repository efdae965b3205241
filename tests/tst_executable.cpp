#include <QtTest>

#include <csignal>

namespace {

// True once the process has its handler for the signal in place (Linux);
// with "SigIgn:", while it ignores the signal.
bool catchesSignal(qint64 pid, int signal, const QByteArray &field = "SigCgt:")
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            bool ok = false;
            const qulonglong mask = line.mid(field.size()).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (1ULL << (signal - 1)));
        }
    }
    return false;
}

const QByteArray kDefaults = "<Configure>\n"
                             "    <Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" "
                             "StopBits=\"1\" NumberOfRetries=\"3\" Timeout=\"300\"/>\n"
                             "    <Set Language=\"0\"/>\n"
                             "</Configure>\n";

} // namespace

class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void stopsCleanlyAndSaves_data();
    void stopsCleanlyAndSaves();
    void serviceUnitVerifies();
};

void TestExecutable::stopsCleanlyAndSaves_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("ignored"); // at start, as nohup leaves SIGHUP

    QTest::newRow("no file, terminated") << QByteArray() << int(SIGTERM) << kDefaults << 0;
    QTest::newRow("foreign file is replaced, interrupted")
        << QByteArray("<configure><Set Language=\"1\"/></configure>") << int(SIGINT) << kDefaults << 0;
    QTest::newRow("hang-up ignored at start stays ignored, terminated")
        << kDefaults << int(SIGTERM) << kDefaults << int(SIGHUP);
    QTest::newRow("settings kept, session hang-up")
        << QByteArray("<Configure><Modbus Port=\"ttyS0\" Timeout=\"150\"/><Set Language=\"1\"/></Configure>")
        << int(SIGHUP)
        << QByteArray("<Configure>\n"
                      "    <Modbus Port=\"ttyS0\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" "
                      "StopBits=\"1\" NumberOfRetries=\"3\" Timeout=\"150\"/>\n"
                      "    <Set Language=\"1\"/>\n"
                      "</Configure>\n")
        << 0;
    // The demo's file: a TCP and an RTU device, the serial line a path that
    // no port list holds. A run that changes nothing writes it back as it was.
    const QByteArray demo =
        "<Configure>\n"
        "    <Device Type=\"1\" Name=\"Mill (TCP)\" Model=\"0\" IP=\"127.0.0.1\" Address=\"10\" "
        "Id=\"5b1e0c2a-7d4f-4a8e-9c61-0f3b2d9e8a71\"/>\n"
        "    <Device Type=\"0\" Name=\"Lathe (RTU)\" Model=\"1\" IP=\"192.168.3.20\" "
        "Address=\"1\" Id=\"c3a94f10-2b6e-4d57-8f02-6e9d1a4b7c35\"/>\n"
        "    <Modbus Port=\"./tty-pc\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" "
        "StopBits=\"1\" NumberOfRetries=\"3\" Timeout=\"300\"/>\n"
        "    <Set Language=\"0\"/>\n"
        "</Configure>\n";
    QTest::newRow("demo devices kept, interrupted") << demo << int(SIGINT) << demo << 0;
}

void TestExecutable::stopsCleanlyAndSaves()
{
    QFETCH(QByteArray, before);
    QFETCH(int, signal);
    QFETCH(QByteArray, after);
    QFETCH(int, ignored);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("Configure.xml"));
    if (!before.isEmpty()) {
        QFile f(config);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString binary = QStringLiteral(VEXA_BINARY_DIR "/vexa-assistant");
    if (ignored)
        program.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("trap '' %1; exec \"$0\"").arg(ignored), binary});
    else
        program.start(binary, QStringList());
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    // A signal that arrives before the program handles it would kill it outright.
    QTRY_VERIFY_WITH_TIMEOUT(catchesSignal(program.processId(), signal), 20000);
    if (ignored)
        QVERIFY(catchesSignal(program.processId(), ignored, "SigIgn:"));
    QCOMPARE(program.state(), QProcess::Running);
    if (signal == SIGTERM)
        program.terminate();
    else
        ::kill(static_cast<pid_t>(program.processId()), signal);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QFile saved(config);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), after);
}

// The package's unit, as systemd itself reads it; the copy the build makes for
// this names the program of this build. Warnings (a misspelt setting is only
// one) count as failures.
void TestExecutable::serviceUnitVerifies()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is not installed (Debian: systemd)");
    QProcess verify;
    verify.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"),
                           QStringLiteral(VEXA_BINARY_DIR "/service-test/vexa-assistant.service")});
    QVERIFY(verify.waitForFinished(60000));
    const QByteArray messages = verify.readAllStandardError() + verify.readAllStandardOutput();
    QVERIFY2(verify.exitCode() == 0 && messages.isEmpty(), messages.constData());
}

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
