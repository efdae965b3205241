#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace sim {

class Controller;
class TcpServer;

// Many simulated controllers in one process, for a shop of hundreds: each has
// its own Modbus TCP server on an address of its own (the same port), its own
// state, program store, counters and animation. One timer drives every
// animation and one every flapping controller, so a thousand controllers cost
// two timers, not two thousand.
class Farm : public QObject
{
    Q_OBJECT

public:
    explicit Farm(QObject *parent = nullptr);
    ~Farm() override;

    // The address of the controller with this index (from 0) in a range that
    // starts at first: the last octet counts up, then the one before it. Null
    // when the range leaves the loopback network 127.0.0.0/8.
    static QHostAddress addressAt(const QHostAddress &first, int index);

    // Makes count controllers, each first set up as the template is (its
    // static data, its fault settings and its program store, which they share
    // until one of them changes it), and listens on port at addresses from
    // first. False, with the reason, when an address is not loopback or cannot
    // be bound; the controllers made so far stay.
    bool start(const Controller &model, const QHostAddress &first, quint16 port, int count,
               QString *error = nullptr);

    int count() const;
    Controller *controller(int index) const;
    TcpServer *server(int index) const;
    QHostAddress address(int index) const;

    // Every controller animated, each from a point of the demo cycle drawn
    // from the seed, so that a shop does not change state all at once and the
    // same seed gives the same run.
    void setAnimated(bool animated, quint32 seed);
    // Controllers [first, first + n) never answer (their sockets stay open).
    void setSilent(int first, int n);
    // Controllers [first, first + n) fall silent for periodMs and answer for
    // periodMs, in turn, beginning silent.
    void setFlapping(int first, int n, int periodMs);

private:
    void animate();
    void flap();

    struct Node;
    std::vector<std::unique_ptr<Node>> m_nodes;
    QTimer m_animation;
    QTimer m_flapping;
    int m_flapFirst = 0;
    int m_flapCount = 0;
    bool m_flapSilent = false;
};

} // namespace sim
