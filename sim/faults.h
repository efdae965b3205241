#pragma once

#include <QByteArray>
#include <QPointer>
#include <QVector>
#include <QtGlobal>

#include <random>

namespace sim {

class Controller;

// What can go wrong with one request, as a PC sees it.
enum class Fault {
    None,
    Drop,            // the connection goes before the request is read (TCP)
    Silence,         // the request is acted on but never answered
    Exception,       // refused with an exception reply, not acted on
    ShortReply,      // a read answered with fewer values than asked
    OversizedChunk,  // a transfer reply whose byte count says more than 200
    EndlessTransfer, // a text or directory opened now never ends
    OtherStation,    // the answer comes from another station address
};
constexpr int FaultKindCount = 8;
const char *faultName(Fault fault);

// Random faults from a seeded generator, for soak runs. Each request a carrier
// receives draws, with the given probability, one of the enabled faults that
// can apply to it; the same seed and the same requests give the same faults.
class FaultInjector
{
public:
    FaultInjector(Controller *controller, quint32 seed, int perMille);

    void setKinds(const QVector<Fault> &kinds); // default: every kind
    void setEnabled(bool enabled);

    // Before the controller sees the request PDU: the fault for it.
    Fault draw(const QByteArray &pdu);
    // After the controller answered (or, for Exception, instead of it): how
    // the fault changes the answer and the station it comes from.
    void shape(Fault fault, const QByteArray &pdu, QByteArray *response, quint8 *station);

    int count(Fault fault) const;
    int requestCount() const;

private:
    QPointer<Controller> m_controller;
    std::mt19937 m_random;
    int m_perMille;
    bool m_enabled = true;
    QVector<Fault> m_kinds;
    int m_counts[FaultKindCount] = {};
    int m_requests = 0;
};

} // namespace sim
