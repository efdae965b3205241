// How fast the simulated controller answers: one position block and a whole
// 1 MB program read through the transfer window, straight through handlePdu.
#include "sim/controller.h"

#include <QtTest>

namespace {

QByteArray readPdu(int address, int count)
{
    QByteArray pdu;
    pdu.append(char(0x03));
    pdu.append(char(address >> 8));
    pdu.append(char(address & 0xFF));
    pdu.append(char(count >> 8));
    pdu.append(char(count & 0xFF));
    return pdu;
}

QByteArray writePdu(int address, const QVector<quint16> &values)
{
    QByteArray pdu;
    pdu.append(char(0x10));
    pdu.append(char(address >> 8));
    pdu.append(char(address & 0xFF));
    pdu.append(char(values.size() >> 8));
    pdu.append(char(values.size() & 0xFF));
    pdu.append(char(values.size() * 2));
    for (quint16 v : values) {
        pdu.append(char(v >> 8));
        pdu.append(char(v & 0xFF));
    }
    return pdu;
}

} // namespace

class BenchSim : public QObject
{
    Q_OBJECT

private slots:
    void positionBlock()
    {
        sim::Controller c;
        c.handlePdu(10, writePdu(0x3000, {6, 0, 300, 0}));
        const QByteArray request = readPdu(0x3000, 70);
        QBENCHMARK
        {
            c.handlePdu(10, request);
        }
    }

    void readOneMegabyte()
    {
        sim::Controller c;
        c.setProgram(1, QByteArray(1000 * 1000, 'G'));
        QBENCHMARK
        {
            c.clearRequests();
            c.handlePdu(10, writePdu(0x3300, {20, 0, 0, 1, 1}));
            for (quint16 n = 1;; ++n) {
                c.handlePdu(10, writePdu(0x3300, {22, 0, 0, n}));
                const QByteArray chunk = c.handlePdu(10, readPdu(0x3304, 101));
                if (chunk.size() < 4 || (chunk.at(2) == 0 && chunk.at(3) == 0))
                    break;
            }
            c.handlePdu(10, writePdu(0x3300, {21, 0, 0, 0, 0}));
        }
    }
};

QTEST_GUILESS_MAIN(BenchSim)
#include "bench_sim.moc"
