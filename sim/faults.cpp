#include "faults.h"

#include "controller.h"
#include "controller_p.h"

namespace sim {

namespace {

constexpr quint8 ReadCoils = 0x01;
constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteMultiple = 0x10;

// A write of the transfer window that opens a text or the directory for reading.
bool opensRead(const QByteArray &pdu, bool *directory)
{
    if (pdu.size() < 8 || quint8(pdu.at(0)) != WriteMultiple || wordAt(pdu, 1) != reg::TransferCommand)
        return false;
    const quint16 command = wordAt(pdu, 6);
    *directory = command == cmd::OpenDirectory;
    const quint16 kind = wordAt(pdu, 12);
    return *directory ||
           (command == cmd::Open && (kind == cmd::KindReadProgram || kind == cmd::KindReadFile));
}

} // namespace

const char *faultName(Fault fault)
{
    static const char *const names[FaultKindCount] = {
        "none",         "drop", "silence", "exception", "short reply", "oversized chunk", "endless transfer",
        "other station"};
    return names[int(fault)];
}

FaultInjector::FaultInjector(Controller *controller, quint32 seed, int perMille)
    : m_controller(controller), m_random(seed), m_perMille(qBound(0, perMille, 1000))
{
    for (int k = 1; k < FaultKindCount; ++k)
        m_kinds.append(Fault(k));
}

void FaultInjector::setKinds(const QVector<Fault> &kinds)
{
    m_kinds = kinds;
    m_kinds.removeAll(Fault::None);
}

void FaultInjector::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

Fault FaultInjector::draw(const QByteArray &pdu)
{
    if (!m_enabled || pdu.isEmpty())
        return Fault::None;
    ++m_requests;
    const quint8 function = quint8(pdu.at(0));
    bool directory = false;
    const bool opening = opensRead(pdu, &directory);
    // A text or directory left endless by an earlier open ends with the next one.
    if (opening && m_controller) {
        m_controller->setEndlessText(false);
        m_controller->setEndlessDirectory(false);
    }
    if (std::uniform_int_distribution<int>(0, 999)(m_random) >= m_perMille)
        return Fault::None;

    QVector<Fault> applicable;
    for (Fault kind : qAsConst(m_kinds)) {
        switch (kind) {
        case Fault::ShortReply:
            if (function == ReadHolding || function == ReadCoils)
                applicable.append(kind);
            break;
        case Fault::OversizedChunk:
            if (function == ReadHolding && wordAt(pdu, 1) == reg::TransferReply)
                applicable.append(kind);
            break;
        case Fault::EndlessTransfer:
            if (opening)
                applicable.append(kind);
            break;
        default:
            applicable.append(kind);
        }
    }
    if (applicable.isEmpty())
        return Fault::None;
    const Fault fault = applicable.at(std::uniform_int_distribution<int>(0, applicable.size() - 1)(m_random));
    ++m_counts[int(fault)];
    if (fault == Fault::EndlessTransfer && m_controller) {
        if (directory)
            m_controller->setEndlessDirectory(true);
        else
            m_controller->setEndlessText(true);
    }
    return fault;
}

void FaultInjector::shape(Fault fault, const QByteArray &pdu, QByteArray *response, quint8 *station)
{
    const quint8 function = pdu.isEmpty() ? 0 : quint8(pdu.at(0));
    switch (fault) {
    case Fault::Exception: {
        // Server failure or busy, the two a loaded controller gives.
        const quint8 code = std::uniform_int_distribution<int>(0, 1)(m_random) ? exc::DeviceFailure : 0x06;
        *response = exceptionPdu(function, code);
        break;
    }
    case Fault::ShortReply:
        if (response->size() >= 2 && quint8(response->at(0)) == function) {
            const int unit = function == ReadHolding ? 2 : 1;
            const int values = (quint8(response->at(1))) / unit;
            if (values > 0) {
                const int kept = std::uniform_int_distribution<int>(0, values - 1)(m_random);
                response->truncate(2 + kept * unit);
                (*response)[1] = char(kept * unit);
            }
        }
        break;
    case Fault::OversizedChunk:
        // Only a chunk that carries data: the end of a text stays the end.
        if (response->size() >= 4 && quint8(response->at(0)) == ReadHolding &&
            (response->at(2) != 0 || response->at(3) != 0)) {
            const quint16 count =
                quint16(std::uniform_int_distribution<int>(reg::MaxChunkBytes + 1, 0xFFFF)(m_random));
            (*response)[2] = char(count >> 8);
            (*response)[3] = char(count & 0xFF);
        }
        break;
    case Fault::OtherStation:
        *station = quint8(*station == 247 ? 1 : *station + 1);
        break;
    default:
        break;
    }
}

int FaultInjector::count(Fault fault) const
{
    return m_counts[int(fault)];
}

int FaultInjector::requestCount() const
{
    return m_requests;
}

} // namespace sim
