#include "config/filenames.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/registercodec.h"

#include <QDebug>
#include <QModbusDataUnit>

#include <iterator>

using namespace Protocol;
using RegisterCodec::axisSigned;
using RegisterCodec::axisUnsigned;
using RegisterCodec::axisWord;
using RegisterCodec::unsigned32;
using RegisterCodec::wordAt;

namespace {

// Until the controller tells otherwise an axis shows three decimals (metric
// coordinates in micrometres) and speed 0 (no divisor).
constexpr int DefaultDecimals = 3;
constexpr float DefaultSpeedDivisor = 0.0f;

QVector<quint16> descriptor(quint16 type, quint16 channel, quint16 item)
{
    return {type, channel, item, 0};
}

// The state of a controller whose channels answer differently: alarm over
// running over idle, so one running channel keeps writes and deletes away.
int worse(int state, int other)
{
    const auto rank = [](int code) {
        return code == DeviceState::Alarm     ? 3
               : code == DeviceState::Running ? 2
               : code == DeviceState::Idle    ? 1
                                              : 0;
    };
    return rank(other) > rank(state) ? other : state;
}

} // namespace

// The set-up runs in the background while the device is not ready, which keeps
// every operation away; it becomes ready after the last step, unless the link
// dropped meanwhile (then the card's next tick connects again).
void ModbusDevice::setUpLink()
{
    Steps steps;

    // 1. Blocks already installed by an earlier link survive in the controller.
    steps.push_back(readStep(SignatureReadback, SignatureReadCount, [this](const QModbusDataUnit &signature) {
        if (isValidUnit(signature) && signature.valueCount() >= 1 && signature.value(0) == SignatureWord) {
            const quint16 installedChannel = signature.valueCount() > 1 ? signature.value(1) : 0;
            if (installedChannel != m_channel)
                insertSteps(channelBlockSteps());
        } else {
            Steps writes = globalBlockSteps();
            Steps channel = channelBlockSteps();
            writes.insert(writes.end(), std::make_move_iterator(channel.begin()),
                          std::make_move_iterator(channel.end()));
            insertSteps(std::move(writes));
        }
    }));

    // 2. Axis and channel counts.
    steps.push_back(readStep(CountsBlock, CountsReadCount, [this](const QModbusDataUnit &counts) {
        if (!isValidUnit(counts))
            return;
        if (int(counts.valueCount()) > CountsWord) {
            const quint16 w = counts.value(CountsWord);
            m_axisCount = quint8(w / 256);
            m_channelCount = w % 256;
            if (m_channelCount == 1) {
                m_axisList.clear();
                for (int a = 0; a < m_axisCount; ++a)
                    m_axisList.append(quint8(a));
            }
        } else {
            m_axisCount = 0;
            m_channelCount = 0;
        }
    }));

    // 3. Speed scale.
    steps.push_back(readStep(SpeedScaleBlock, SpeedScaleReadCount, [this](const QModbusDataUnit &scale) {
        if (isValidUnit(scale))
            m_speedScale = unsigned32(scale.values(), 6);
    }));

    // 4. The axes of this device's channel (channels counted from 1 there).
    steps.push_back(readStep(AxisChannelBlock, PerAxisReadCount, [this](const QModbusDataUnit &channels) {
        if (!isValidUnit(channels))
            return;
        const QVector<quint16> words = channels.values();
        m_axisList.clear();
        for (int a = 0; a < m_axisCount; ++a) {
            if (RegisterCodec::hasAxisWord(words, a) && axisWord(words, a) == m_channel + 1)
                m_axisList.append(quint8(a));
        }
    }));

    // 5. Axis names.
    steps.push_back(readStep(AxisNameBlock, PerAxisReadCount, [this](const QModbusDataUnit &names) {
        if (!isValidUnit(names))
            return;
        const QVector<quint16> words = names.values();
        m_position.axisNames.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_position.axisNames.append(RegisterCodec::axisLabel(axisWord(words, a)));
    }));

    // 6. Decimals.
    steps.push_back(readStep(AxisDecimalsBlock, PerAxisReadCount, [this](const QModbusDataUnit &decimals) {
        if (!isValidUnit(decimals))
            return;
        const QVector<quint16> words = decimals.values();
        m_decimals.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_decimals.append(axisWord(words, a));
    }));

    // 7. Coil numbers of the state outputs; 8. coil mode when all three exist
    // (decided when the set-up is over).
    const QPair<int, int *> coils[] = {
        {RunCoilBlock, &m_runCoil}, {AlarmCoilBlock, &m_alarmCoil}, {IdleCoilBlock, &m_idleCoil}};
    for (const auto &coil : coils) {
        int *number = coil.second;
        steps.push_back(readStep(coil.first, CoilNumberReadCount, [number](const QModbusDataUnit &unit) {
            if (isValidUnit(unit))
                *number = wordAt(unit.values(), CoilNumberWord);
        }));
    }

    // 9. Speed divisors.
    steps.push_back(
        readStep(SpeedParameterBlock, PerAxisReadCount, [this](const QModbusDataUnit &parameters) {
            if (!isValidUnit(parameters))
                return;
            const QVector<quint16> words = parameters.values();
            m_speedDivisors.clear();
            for (quint8 a : qAsConst(m_axisList))
                m_speedDivisors.append(RegisterCodec::speedDivisor(axisUnsigned(words, a), m_speedScale));
        }));

    runInBackground(std::move(steps), [this](bool completed) { finishSetUp(completed); });
}

void ModbusDevice::finishSetUp(bool completed)
{
    // A link that dropped during the set-up leaves the device not ready; the
    // next link's set-up reads everything again.
    if (!completed)
        return;
    m_statusCoilMode = m_runCoil != 0 && m_idleCoil != 0 && m_alarmCoil != 0;

    // 10. The value lists follow the axis list.
    m_position.absolute.clear();
    m_position.machine.clear();
    m_position.speed.clear();
    m_position.torque.clear();
    for (int k = 0; k < m_axisList.size(); ++k) {
        m_position.absolute.append(QStringLiteral("0"));
        m_position.machine.append(QStringLiteral("0"));
        m_position.speed.append(0);
        m_position.torque.append(0);
    }
    alignAxisData();
    if (linkUp() && !m_releasePending)
        m_ready = true;
}

void ModbusDevice::alignAxisData()
{
    // A list whose read failed still describes the previous axis set; when its
    // length no longer fits the axis list it is rebuilt from defaults, so every
    // list is indexed by the same position k.
    const int n = m_axisList.size();
    if (m_position.axisNames.size() != n) {
        m_position.axisNames.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_position.axisNames.append(RegisterCodec::defaultAxisLabel(a));
    }
    if (m_decimals.size() != n) {
        m_decimals.clear();
        for (int k = 0; k < n; ++k)
            m_decimals.append(DefaultDecimals);
    }
    if (m_speedDivisors.size() != n) {
        m_speedDivisors.clear();
        for (int k = 0; k < n; ++k)
            m_speedDivisors.append(DefaultSpeedDivisor);
    }
}

ModbusDevice::Steps ModbusDevice::globalBlockSteps() const
{
    Steps steps;
    for (const BlockDescriptor &block : GlobalBlocks)
        steps.push_back(writeStep(block.address, descriptor(block.type, 0, block.item)));
    return steps;
}

// The signature first, then one descriptor per request. The per-axis blocks
// follow the axis count the device holds when they are written: that of the
// previous set-up (1 on the first).
ModbusDevice::Steps ModbusDevice::channelBlockSteps() const
{
    const quint16 ch = m_channel;
    Steps steps;
    steps.push_back(writeStep(SignatureBlock, {SignatureWord, ch}));
    steps.push_back(writeStep(CounterBlock, descriptor(CounterType, ch, 0)));
    steps.push_back(writeStep(TimeBlock, descriptor(TimeType, ch, 0)));
    steps.push_back(writeStep(WorkModeBlock, descriptor(WorkModeType, ch, WorkModeItem)));
    const int axes = qMin<int>(m_axisCount, MaxAxisBlocks);
    for (int i = 0; i < axes; ++i) {
        steps.push_back(
            writeStep(AxisBlockA + AxisBlockStride * i, descriptor(AxisBlockAType, ch, quint16(i))));
        steps.push_back(
            writeStep(AxisBlockB + AxisBlockStride * i, descriptor(AxisBlockBType, ch, quint16(i))));
    }
    steps.push_back(writeStep(ChannelBlock15E0, descriptor(AxisBlockAType, ch, ChannelBlockItem101)));
    steps.push_back(writeStep(ChannelBlock15F0, descriptor(AxisBlockAType, ch, ChannelBlockItem200)));
    steps.push_back(writeStep(ChannelBlock16E0, descriptor(AxisBlockAType, ch, ChannelBlockItem101)));
    steps.push_back(writeStep(ChannelBlock16F0, descriptor(AxisBlockAType, ch, ChannelBlockItem200)));
    return steps;
}

bool ModbusDevice::startStatePoll()
{
    if (refusal() != Result::Ok || m_releasePending)
        return false;
    m_busy = true;
    m_polling = true;
    m_pollAnswered = true;
    m_pollState = -1;
    Steps steps = m_statusCoilMode ? coilPollSteps() : statusBlockPollSteps();
    runInBackground(std::move(steps), [this](bool completed) {
        if (!completed || !m_pollAnswered || !countersDue()) {
            finishPoll(completed);
            return;
        }
        m_countersRead.start();
        m_countersState = m_state;
        runInBackground({counterReadStep()}, [this](bool completed) { finishPoll(completed); });
    });
    return true;
}

bool ModbusDevice::countersDue() const
{
    return m_countersWanted && (!m_countersKnown || m_state != m_countersState || !m_countersRead.isValid() ||
                                m_countersRead.hasExpired(CounterIntervalMs));
}

int ModbusDevice::pollState()
{
    // The device's loop does not nest: a caller inside one of its waits gets
    // the stored code, as it would while the device is busy.
    if (m_waitDepth > 0 || !startStatePoll())
        return m_state;
    waitInLoop([this] { return !m_polling; }, 24 * 3600 * 1000);
    return m_state;
}

// Idle first, then running, then alarm; a controller that sets none of the
// three keeps the state.
ModbusDevice::Steps ModbusDevice::coilPollSteps()
{
    Steps steps;
    const QPair<int, int> coils[] = {{m_idleCoil, DeviceState::Idle},
                                     {m_runCoil, DeviceState::Running},
                                     {m_alarmCoil, DeviceState::Alarm}};
    for (const auto &coil : coils) {
        const int state = coil.second;
        steps.push_back(coilStep(coil.first - 1, [this, state](const QModbusDataUnit &unit) {
            if (lastRequestTimedOut()) {
                endPollUnanswered();
            } else if (isValidUnit(unit) && unit.valueCount() >= 1 && unit.value(0) == 1) {
                m_state = state;
                skipRemainingSteps();
            }
        }));
    }
    return steps;
}

// One descriptor and one read per channel, up to the bound; with several
// channels the worst answer stands. A channel whose descriptor or read was
// refused has no say; when none answers, the state stays.
ModbusDevice::Steps ModbusDevice::statusBlockPollSteps()
{
    Steps steps;
    const int channels = qMin<int>(m_channelCount, MaxPolledChannels);
    for (int i = 0; i < channels; ++i) {
        steps.push_back(writeStep(StatusBlock, descriptor(StatusType, quint16(i), StatusItem),
                                  [this](const QModbusDataUnit &) {
                                      if (lastRequestTimedOut())
                                          endPollUnanswered();
                                      else if (m_lastResult == 0)
                                          insertSteps({statusReadStep()});
                                  }));
    }
    return steps;
}

ModbusDevice::Step ModbusDevice::statusReadStep()
{
    return readStep(StatusBlock, StatusReadCount, [this](const QModbusDataUnit &unit) {
        if (isValidUnit(unit)) {
            m_pollState = worse(m_pollState, RegisterCodec::statusState(unit.values()));
            m_state = m_pollState;
        } else if (lastRequestTimedOut()) {
            endPollUnanswered();
        }
    });
}

ModbusDevice::Step ModbusDevice::counterReadStep()
{
    return readStep(CounterBlock, CounterReadCount, [this](const QModbusDataUnit &unit) {
        if (isValidUnit(unit))
            noteCounters(unit.values());
        else if (lastRequestTimedOut())
            endPollUnanswered();
    });
}

void ModbusDevice::noteCounters(const QVector<quint16> &words)
{
    // A short answer holds no counters: read as zeros they would show a reset
    // count, and the history would then add the whole count again as pieces.
    if (words.size() < CounterReadCount)
        return;
    m_position.pieceCount = qint32(unsigned32(words, 4));
    m_position.pieceTarget = qint32(unsigned32(words, 6));
    m_position.programName = FileNames::programName(wordAt(words, 8));
    m_countersKnown = true;
}

void ModbusDevice::setCountersWanted(bool wanted)
{
    if (wanted && !m_countersWanted)
        m_countersRead.invalidate(); // what was read before may be old
    m_countersWanted = wanted;
}

bool ModbusDevice::countersWanted() const
{
    return m_countersWanted;
}

DeviceSnapshot ModbusDevice::snapshot() const
{
    DeviceSnapshot snapshot;
    snapshot.state = m_state;
    if (m_countersKnown) {
        snapshot.program = m_position.programName;
        snapshot.pieces = m_position.pieceCount;
        snapshot.target = m_position.pieceTarget;
    }
    return snapshot;
}

void ModbusDevice::endPollUnanswered()
{
    m_pollAnswered = false;
    skipRemainingSteps();
}

void ModbusDevice::finishPoll(bool completed)
{
    m_busy = false;
    m_polling = false;
    if (m_waitDepth > 0)
        m_loop.quit(); // pollState() waits for this
    // An abandoned poll belongs to a link that is gone, or to a device on its
    // way out: nothing to count and nobody to tell.
    if (!completed)
        return;
    notePoll(m_pollAnswered);
    emit pollFinished(m_state);
}

// A controller that stops answering (gone mute, or its link confused by a
// corrupt frame) would otherwise keep showing its last state for good.
void ModbusDevice::notePoll(bool answered)
{
    if (answered) {
        m_silentPolls = 0;
        return;
    }
    if (++m_silentPolls < SilentPollsBeforeReconnect)
        return;
    qDebug() << "ModbusDevice" << m_record.Name << "no answer to" << m_silentPolls
             << "polls: connecting again";
    reopenLink();
}

int ModbusDevice::readPosition(PositionStatus *status)
{
    if (const int refused = admit())
        return refused;
    BusyScope busy(this);
    alignAxisData();

    // A request that goes unanswered ends the read: the controller has gone
    // quiet, and every further request would wait as long again. The fields
    // not read keep their cached values, as after any failed read.
    bool quiet = false;
    const auto read = [&](int address, int count) {
        if (quiet)
            return QModbusDataUnit();
        QModbusDataUnit unit = readRegisters(address, count);
        quiet = lastRequestTimedOut();
        return unit;
    };

    const QModbusDataUnit counter = read(CounterBlock, CounterReadCount);
    if (isValidUnit(counter))
        noteCounters(counter.values());

    const QModbusDataUnit times = read(TimeBlock, TimeReadCount);
    if (isValidUnit(times)) {
        const QVector<quint16> w = times.values();
        m_position.cycleTime = RegisterCodec::cycleTimeText(unsigned32(w, 4));
        m_position.runTime = RegisterCodec::runTimeText(unsigned32(w, 6));
    }

    const QModbusDataUnit mode = read(WorkModeBlock, WorkModeReadCount);
    if (isValidUnit(mode))
        m_position.workMode = RegisterCodec::workModeText(quint8(wordAt(mode.values(), WorkModeWord) >> 8));

    // Each per-axis block rebuilds its list, one entry per axis of the axis
    // list, only when its read is valid.
    const auto readAxisBlock = [&](int block, auto *list, auto value) {
        const QModbusDataUnit unit = read(block, PerAxisReadCount);
        if (!isValidUnit(unit))
            return;
        const QVector<quint16> w = unit.values();
        list->clear();
        for (int k = 0; k < m_axisList.size(); ++k)
            list->append(value(axisSigned(w, m_axisList.at(k)), k));
    };
    const auto coordinate = [this](qint32 v, int k) {
        return RegisterCodec::coordinateText(v, m_decimals.value(k, DefaultDecimals));
    };
    const auto speed = [this](qint32 v, int k) {
        return RegisterCodec::speedValue(v, m_speedDivisors.value(k, DefaultSpeedDivisor));
    };
    const auto torque = [](qint32 v, int) { return RegisterCodec::torqueValue(v); };
    readAxisBlock(AbsoluteBlock, &m_position.absolute, coordinate);
    readAxisBlock(MachineBlock, &m_position.machine, coordinate);
    readAxisBlock(SpeedBlock, &m_position.speed, speed);
    readAxisBlock(TorqueBlock, &m_position.torque, torque);

    if (status) {
        *status = m_position;
        status->state = 0;
    }
    // The cached values are handed over all the same, but a controller that
    // did not answer is a failed read: a view must not show them as live.
    return quiet ? Result::ReadFailed : Result::Ok;
}

int ModbusDevice::readIo(IoStatus *status)
{
    if (const int refused = admit())
        return refused;
    BusyScope busy(this);

    // Short replies are padded: a word that did not arrive reads as 0, and the
    // IO view can index all sixteen words.
    const auto padded = [](const QModbusDataUnit &unit) {
        QVector<quint16> words = unit.values();
        words.resize(qMax(words.size(), IoWordCount));
        return words;
    };

    const QModbusDataUnit inputs = readRegisters(InputWords, IoWordCount);
    if (!isValidUnit(inputs))
        return Result::ReadFailed;
    const QModbusDataUnit outputs = readRegisters(OutputWords, IoWordCount);
    if (!isValidUnit(outputs)) {
        if (status) {
            status->model = m_record.Model;
            status->inputs = padded(inputs);
        }
        return Result::ReadFailed;
    }
    if (status) {
        status->model = m_record.Model;
        status->inputs = padded(inputs);
        status->outputs = padded(outputs);
    }
    return Result::Ok;
}
