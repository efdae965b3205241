#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/registercodec.h"

#include <QDebug>
#include <QModbusDataUnit>

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

} // namespace

void ModbusDevice::setUpLink()
{

    // 1. Blocks already installed by an earlier link survive in the controller.
    const QModbusDataUnit signature = readRegisters(SignatureReadback, SignatureReadCount);
    if (isValidUnit(signature) && signature.valueCount() >= 1 && signature.value(0) == SignatureWord) {
        const quint16 installedChannel = signature.valueCount() > 1 ? signature.value(1) : 0;
        if (installedChannel != m_channel)
            writeChannelBlocks();
    } else {
        for (const BlockDescriptor &block : GlobalBlocks) {
            writeRegisters(block.address, descriptor(block.type, 0, block.item));
        }
        writeChannelBlocks();
    }

    // 2. Axis and channel counts.
    const QModbusDataUnit counts = readRegisters(CountsBlock, CountsReadCount);
    if (isValidUnit(counts)) {
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
    }

    // 3. Speed scale.
    const QModbusDataUnit scale = readRegisters(SpeedScaleBlock, SpeedScaleReadCount);
    if (isValidUnit(scale))
        m_speedScale = unsigned32(scale.values(), 6);

    // 4. The axes of this device's channel (channels counted from 1 there).
    const QModbusDataUnit channels = readRegisters(AxisChannelBlock, PerAxisReadCount);
    if (isValidUnit(channels)) {
        const QVector<quint16> words = channels.values();
        m_axisList.clear();
        for (int a = 0; a < m_axisCount; ++a) {
            if (RegisterCodec::hasAxisWord(words, a) && axisWord(words, a) == m_channel + 1)
                m_axisList.append(quint8(a));
        }
    }

    // 5. Axis names.
    const QModbusDataUnit names = readRegisters(AxisNameBlock, PerAxisReadCount);
    if (isValidUnit(names)) {
        const QVector<quint16> words = names.values();
        m_position.axisNames.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_position.axisNames.append(RegisterCodec::axisLabel(axisWord(words, a)));
    }

    // 6. Decimals.
    const QModbusDataUnit decimals = readRegisters(AxisDecimalsBlock, PerAxisReadCount);
    if (isValidUnit(decimals)) {
        const QVector<quint16> words = decimals.values();
        m_decimals.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_decimals.append(axisWord(words, a));
    }

    // 7. Coil numbers of the state outputs; 8. coil mode when all three exist.
    const int coilBlocks[] = {RunCoilBlock, AlarmCoilBlock, IdleCoilBlock};
    int *const coils[] = {&m_runCoil, &m_alarmCoil, &m_idleCoil};
    for (int i = 0; i < 3; ++i) {
        const QModbusDataUnit unit = readRegisters(coilBlocks[i], CoilNumberReadCount);
        if (isValidUnit(unit))
            *coils[i] = wordAt(unit.values(), CoilNumberWord);
    }
    m_statusCoilMode = m_runCoil != 0 && m_idleCoil != 0 && m_alarmCoil != 0;

    // 9. Speed divisors.
    const QModbusDataUnit parameters = readRegisters(SpeedParameterBlock, PerAxisReadCount);
    if (isValidUnit(parameters)) {
        const QVector<quint16> words = parameters.values();
        m_speedDivisors.clear();
        for (quint8 a : qAsConst(m_axisList))
            m_speedDivisors.append(RegisterCodec::speedDivisor(axisUnsigned(words, a), m_speedScale));
    }

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

void ModbusDevice::writeChannelBlocks()
{
    const quint16 ch = m_channel;
    writeRegisters(SignatureBlock, {SignatureWord, ch});

    QVector<QPair<int, QVector<quint16>>> blocks;
    blocks.append({CounterBlock, descriptor(CounterType, ch, 0)});
    blocks.append({TimeBlock, descriptor(TimeType, ch, 0)});
    blocks.append({WorkModeBlock, descriptor(WorkModeType, ch, WorkModeItem)});
    const int axes = qMin<int>(m_axisCount, MaxAxisBlocks);
    for (int i = 0; i < axes; ++i) {
        blocks.append({AxisBlockA + AxisBlockStride * i, descriptor(AxisBlockAType, ch, quint16(i))});
        blocks.append({AxisBlockB + AxisBlockStride * i, descriptor(AxisBlockBType, ch, quint16(i))});
    }
    blocks.append({ChannelBlock15E0, descriptor(AxisBlockAType, ch, ChannelBlockItem101)});
    blocks.append({ChannelBlock15F0, descriptor(AxisBlockAType, ch, ChannelBlockItem200)});
    blocks.append({ChannelBlock16E0, descriptor(AxisBlockAType, ch, ChannelBlockItem101)});
    blocks.append({ChannelBlock16F0, descriptor(AxisBlockAType, ch, ChannelBlockItem200)});
    for (const auto &block : qAsConst(blocks)) {
        writeRegisters(block.first, block.second);
    }
}

int ModbusDevice::pollState()
{
    if (refusal() != Result::Ok)
        return m_state;
    BusyScope busy(this);
    const bool answered = m_statusCoilMode ? pollStateCoils() : pollStatusBlocks();
    if (!linkChanged())
        notePoll(answered);
    return m_state;
}

// Idle first, then running, then alarm; a controller that sets none of the
// three keeps the state.
bool ModbusDevice::pollStateCoils()
{
    const QPair<int, int> coils[] = {{m_idleCoil, DeviceState::Idle},
                                     {m_runCoil, DeviceState::Running},
                                     {m_alarmCoil, DeviceState::Alarm}};
    for (const auto &coil : coils) {
        const QModbusDataUnit unit = readCoils(coil.first - 1, 1);
        if (lastRequestTimedOut())
            return false;
        if (linkChanged())
            return true;
        if (isValidUnit(unit) && unit.valueCount() >= 1 && unit.value(0) == 1) {
            m_state = coil.second;
            return true;
        }
    }
    return true;
}

// One descriptor and one read per channel, up to the bound; with several
// channels the last answer stands. The first request that goes unanswered
// ends the poll: the next ones would only wait as long again.
bool ModbusDevice::pollStatusBlocks()
{
    const int channels = qMin<int>(m_channelCount, MaxPolledChannels);
    for (int i = 0; i < channels && !linkChanged(); ++i) {
        if (writeRegisters(StatusBlock, descriptor(StatusType, quint16(i), StatusItem)) == 0) {
            const QModbusDataUnit unit = readRegisters(StatusBlock, StatusReadCount);
            // An answer that came in before a drop the device has already
            // shown must not put a state back on a link that is gone.
            if (isValidUnit(unit) && !linkChanged())
                m_state = RegisterCodec::statusState(unit.values());
        }
        if (lastRequestTimedOut())
            return false;
    }
    return true;
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
    if (const int refused = refusal())
        return refused;
    BusyScope busy(this);
    alignAxisData();

    const QModbusDataUnit counter = readRegisters(CounterBlock, CounterReadCount);
    if (isValidUnit(counter)) {
        const QVector<quint16> w = counter.values();
        m_position.pieceCount = qint32(unsigned32(w, 4));
        m_position.pieceTarget = qint32(unsigned32(w, 6));
        m_position.programName = RegisterCodec::programName(wordAt(w, 8));
    }

    const QModbusDataUnit times = readRegisters(TimeBlock, TimeReadCount);
    if (isValidUnit(times)) {
        const QVector<quint16> w = times.values();
        m_position.cycleTime = RegisterCodec::cycleTimeText(unsigned32(w, 4));
        m_position.runTime = RegisterCodec::runTimeText(unsigned32(w, 6));
    }

    const QModbusDataUnit mode = readRegisters(WorkModeBlock, WorkModeReadCount);
    if (isValidUnit(mode))
        m_position.workMode = RegisterCodec::workModeText(quint8(wordAt(mode.values(), WorkModeWord) >> 8));

    // Each per-axis block rebuilds its list, one entry per axis of the axis
    // list, only when its read is valid.
    const auto readAxisBlock = [&](int block, auto *list, auto value) {
        const QModbusDataUnit unit = readRegisters(block, PerAxisReadCount);
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
    return Result::Ok;
}

int ModbusDevice::readIo(IoStatus *status)
{
    if (const int refused = refusal())
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
