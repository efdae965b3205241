#include "farm.h"

#include "controller.h"
#include "servers.h"

#include <random>

namespace sim {

namespace {
constexpr int AnimationStepMs = 100;     // as one controller's own animation
constexpr quint32 DemoCycleTicks = 1800; // the demo's whole cycle, alarms included
} // namespace

struct Farm::Node
{
    Controller controller;
    TcpServer server{&controller};
    QHostAddress address;
};

Farm::Farm(QObject *parent) : QObject(parent)
{
    m_animation.setInterval(AnimationStepMs);
    connect(&m_animation, &QTimer::timeout, this, &Farm::animate);
    connect(&m_flapping, &QTimer::timeout, this, &Farm::flap);
}

Farm::~Farm() = default;

QHostAddress Farm::addressAt(const QHostAddress &first, int index)
{
    bool ok = false;
    const quint32 base = first.toIPv4Address(&ok);
    const quint64 address = quint64(base) + quint64(qMax(0, index));
    if (!ok || index < 0 || (base >> 24) != 127 || (address >> 24) != 127)
        return QHostAddress();
    return QHostAddress(quint32(address));
}

bool Farm::start(const Controller &model, const QHostAddress &first, quint16 port, int count, QString *error)
{
    for (int i = 0; i < count; ++i) {
        const QHostAddress address = addressAt(first, i);
        if (address.isNull()) {
            if (error)
                *error = QStringLiteral("%1 controllers from %2 leave the loopback network 127.0.0.0/8")
                             .arg(count)
                             .arg(first.toString());
            return false;
        }
        auto node = std::make_unique<Node>();
        node->address = address;
        node->controller.copySetUpFrom(model);
        if (!node->server.listen(address, port)) {
            if (error)
                *error = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port);
            return false;
        }
        m_nodes.push_back(std::move(node));
    }
    return true;
}

int Farm::count() const
{
    return int(m_nodes.size());
}

Controller *Farm::controller(int index) const
{
    return &m_nodes.at(size_t(index))->controller;
}

TcpServer *Farm::server(int index) const
{
    return &m_nodes.at(size_t(index))->server;
}

QHostAddress Farm::address(int index) const
{
    return m_nodes.at(size_t(index))->address;
}

void Farm::setAnimated(bool animated, quint32 seed)
{
    m_animation.stop();
    if (!animated)
        return;
    std::mt19937 random(seed);
    std::uniform_int_distribution<quint32> phase(0, DemoCycleTicks - 1);
    for (const auto &node : m_nodes) {
        node->controller.setPieceTarget(500);
        node->controller.setProgramNumber(1);
        node->controller.setAnimationTicks(phase(random));
    }
    m_animation.start();
}

void Farm::animate()
{
    for (const auto &node : m_nodes)
        node->controller.animationStep();
}

void Farm::setSilent(int first, int n)
{
    for (int i = qMax(0, first); i < qMin(count(), first + n); ++i)
        m_nodes.at(size_t(i))->server.setSilent(true);
}

void Farm::setFlapping(int first, int n, int periodMs)
{
    m_flapFirst = qMax(0, first);
    m_flapCount = qMax(0, qMin(count(), first + n) - m_flapFirst);
    m_flapSilent = false;
    m_flapping.stop();
    if (m_flapCount == 0 || periodMs <= 0)
        return;
    flap();
    m_flapping.start(periodMs);
}

void Farm::flap()
{
    m_flapSilent = !m_flapSilent;
    for (int i = m_flapFirst; i < m_flapFirst + m_flapCount; ++i)
        m_nodes.at(size_t(i))->server.setSilent(m_flapSilent);
}

} // namespace sim
