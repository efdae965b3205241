#pragma once

#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"
#include "views/viewpoller.h"

#include <QCheckBox>
#include <QHostAddress>
#include <QPointer>
#include <QtTest>

#include <algorithm>

// Helpers for the tests of the function views.

template<typename T> T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

inline bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

// A simulated controller on a loopback address, and one card of the device
// list that is selected and switched on to reach it: the device the views
// work on.
class SimulatedCard
{
public:
    SimulatedCard(const char *address, quint16 port, quint8 model = 0)
        : m_address(QString::fromLatin1(address)), m_port(port), m_model(model)
    {
    }
    ~SimulatedCard() { remove(); }
    SimulatedCard(const SimulatedCard &) = delete;
    SimulatedCard &operator=(const SimulatedCard &) = delete;

    // Adds the card on the first call and selects it; waits until its device
    // is ready. Null when the simulator cannot listen or the link stays down.
    deviceWidget *connect()
    {
        if (!m_listening)
            m_listening = server.listen(QHostAddress(m_address), m_port);
        if (!m_listening)
            return nullptr;
        DeviceManager *manager = DeviceManager::instance();
        if (!m_card) {
            DeviceRecord record;
            record.Type = 1;
            record.Name = QStringLiteral("sim");
            record.Id = QStringLiteral("sim1"); // its archive: archive/sim-sim1/
            record.Model = m_model;
            record.IP = m_address;
            record.Address = controller.stationAddress();
            manager->addDevice(record);
            m_card = manager->cards().last();
            m_card->findChild<QCheckBox *>("checkBox_toConnect")->setChecked(true);
        }
        if (manager->selectedDevice() != m_card)
            emit m_card->signDoubleClicked();
        const bool ready = QTest::qWaitFor([this] { return m_card && m_card->device()->isReady(); }, 10000);
        return ready ? m_card.data() : nullptr;
    }

    deviceWidget *card() const { return m_card; }

    // Removes the card from the list and waits until it is gone: no device is
    // selected afterwards.
    void remove()
    {
        if (!m_card)
            return;
        emit m_card->signDoubleClicked();
        DeviceManager::instance()->removeSelectedDevice();
        QVERIFY(QTest::qWaitFor([this] { return !m_card; }, 5000));
    }

    // Shared link settings that reach this simulator and give up quickly.
    void useQuickLinkSettings() const { TestSupport::useQuickLink(m_port); }

    sim::Controller controller;
    sim::TcpServer server{&controller};

private:
    QString m_address;
    quint16 m_port;
    quint8 m_model;
    bool m_listening = false;
    QPointer<deviceWidget> m_card;
};

// Checks every page that polls the selected device (position, IO) passes, on
// a connected card whose simulator answers through `server`.
namespace PolledPage {

// A tick that meets another operation of the same device waiting (busy) is
// read again as soon as the device is free, not only at the next tick.
template<typename Page> void busyTickReadOnceDeviceIsFree(deviceWidget *card, sim::TcpServer *server)
{
    QVERIFY(card);
    Page form;
    ViewPoller *poller = form.poller();
    poller->setInterval(60 * 1000); // the test makes the ticks
    form.show();
    server->stopAnsweringFor(100); // the card's poll waits for its time-out
    int tickResult = -1;
    QTimer::singleShot(0, card, [&] {
        QTimer::singleShot(20, &form, [&] {
            poller->tick();
            tickResult = poller->lastResult();
        });
        card->device()->pollState(); // an operation waiting on the device
    });
    QTRY_COMPARE(tickResult, 9);
    QTRY_COMPARE(poller->refreshCount(), 1);
    QCOMPARE(poller->tickCount(), 1);
}

// The page can go while its read waits in the device's loop (the window is
// closed); the read must not touch it afterwards.
template<typename Page> void deletedWhileReadWaits(deviceWidget *card, sim::TcpServer *server)
{
    QVERIFY(card);
    QPointer<Page> form = new Page;
    server->stopAnsweringFor(150);
    QTimer killer;
    killer.setInterval(5);
    QObject::connect(&killer, &QTimer::timeout, [&form] {
        if (form && form->poller()->isReading())
            delete form.data();
    });
    killer.start();
    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(!form, 5000);
    killer.stop();
    QTRY_VERIFY(!card->device()->isBusy());
}

} // namespace PolledPage
