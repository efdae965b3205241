#include "controller.h"

#include "controller_p.h"

#include <QtEndian>

namespace sim {

namespace {

// Data types and items of the variables this controller can deliver in a block.
enum VariableType : quint16 {
    TypeChannelState = 1, // also the input and output images
    TypeCounters = 2,
    TypeTimes = 3,
    TypeAxisParameter = 4,
    TypeMachineValue = 6,
};

void appendWord(QByteArray &pdu, quint16 word)
{
    pdu.append(char(word >> 8));
    pdu.append(char(word & 0xFF));
}

} // namespace

QByteArray exceptionPdu(quint8 function, quint8 code)
{
    QByteArray pdu;
    pdu.append(char(function | 0x80));
    pdu.append(char(code));
    return pdu;
}

quint16 wordAt(const QByteArray &pdu, int offset)
{
    if (offset < 0 || offset + 1 >= pdu.size())
        return 0;
    return quint16((quint8(pdu.at(offset)) << 8) | quint8(pdu.at(offset + 1)));
}

quint16 dosDate(const QDate &date)
{
    QDate d = date.isValid() ? date : QDate(1980, 1, 1);
    if (d.year() < 1980)
        d = QDate(1980, 1, 1);
    if (d.year() > 2107)
        d = QDate(2107, 12, 31);
    return quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day());
}

QString programName(int number)
{
    return QStringLiteral("O%1").arg(number, 4, 10, QLatin1Char('0'));
}

Controller::Controller(QObject *parent) : QObject(parent), d(new Private)
{
    qRegisterMetaType<sim::Request>();
    AxisConfig x;
    x.nameCode = 1;
    AxisConfig y;
    y.nameCode = 2;
    AxisConfig z;
    z.nameCode = 3;
    d->axes = {x, y, z};
    d->animation = new QTimer(this);
    d->animation->setInterval(100);
    connect(d->animation, &QTimer::timeout, this, &Controller::animationStep);
}

Controller::~Controller()
{
    delete d;
}

void Controller::setStationAddress(quint8 address)
{
    d->station = address;
}
quint8 Controller::stationAddress() const
{
    return d->station;
}

void Controller::setAxes(const QVector<AxisConfig> &axes)
{
    d->axes = axes.mid(0, 255);
}
QVector<AxisConfig> Controller::axes() const
{
    return d->axes;
}
void Controller::setChannelCount(quint16 count)
{
    d->channelCount = qMin<quint16>(count, 255);
}
void Controller::setSpeedScale(quint32 scale)
{
    d->speedScale = scale;
}

void Controller::setStateCoils(int runCoil, int alarmCoil, int idleCoil)
{
    d->runCoil = qBound(0, runCoil, 0xFFFF);
    d->alarmCoil = qBound(0, alarmCoil, 0xFFFF);
    d->idleCoil = qBound(0, idleCoil, 0xFFFF);
}

void Controller::setRunState(RunState state)
{
    d->state = state;
}
RunState Controller::runState() const
{
    return d->state;
}
void Controller::setStatusFlags(int flags)
{
    d->statusFlagsOverride = flags < 0 ? -1 : (flags & 0xFFFF);
}
void Controller::setPieceCount(quint32 count)
{
    d->pieceCount = count;
}
void Controller::setPieceTarget(quint32 target)
{
    d->pieceTarget = target;
}
void Controller::setCycleTime(quint32 tenths)
{
    d->cycleTime = tenths;
}
void Controller::setRunTime(quint32 tenths)
{
    d->runTime = tenths;
}
void Controller::setProgramNumber(quint16 number)
{
    d->programNumber = number;
}
void Controller::setWorkMode(quint8 mode)
{
    d->workMode = mode;
}

void Controller::setInputWord(int index, quint16 word)
{
    if (index >= 0 && index < reg::IoWords)
        d->inputs[index] = word;
}

void Controller::setOutputWord(int index, quint16 word)
{
    if (index >= 0 && index < reg::IoWords)
        d->outputs[index] = word;
}

void Controller::setAxisValues(int axis, qint32 absolute, qint32 machine, qint32 speed, qint32 torque)
{
    if (axis < 0 || axis >= d->axes.size())
        return;
    AxisConfig &a = d->axes[axis];
    a.absolute = absolute;
    a.machine = machine;
    a.speed = speed;
    a.torque = torque;
}

bool Controller::signatureInstalled() const
{
    return d->signature;
}
quint16 Controller::signatureChannel() const
{
    return d->signatureChannel;
}

void Controller::resetInstallation()
{
    d->blocks.clear();
    d->signature = false;
    d->signatureChannel = 0;
    d->plain.clear();
}

void Controller::setExceptionAt(int address, quint8 exceptionCode)
{
    d->exceptionAt.insert(address, exceptionCode ? exceptionCode : exc::IllegalAddress);
}

void Controller::clearExceptionAt(int address)
{
    d->exceptionAt.remove(address);
}
void Controller::setShortRead(int address, int count)
{
    d->shortRead.insert(address, qMax(0, count));
}
void Controller::setChunkByteCount(int byteCount)
{
    d->chunkByteCount = byteCount < 0 ? -1 : qMin(byteCount, 0xFFFF);
}
void Controller::setEndlessDirectory(bool endless)
{
    d->endlessDirectory = endless;
}
void Controller::setEndlessText(bool endless)
{
    d->endlessText = endless;
}

void Controller::setTextEndsAtChunk(int chunk)
{
    d->textEndChunk = qMax(0, chunk);
}
void Controller::refuseOpen(const QString &name, quint8 exceptionCode, int times)
{
    d->refusedOpens.insert(name, {exceptionCode, times});
}
void Controller::setAbsentException(quint8 exceptionCode)
{
    d->absentException = exceptionCode;
}

void Controller::clearFaults()
{
    d->textEndChunk = 0;
    d->refusedOpens.clear();
    d->absentException = exc::IllegalValue;
    d->exceptionAt.clear();
    d->shortRead.clear();
    d->chunkByteCount = -1;
    d->endlessDirectory = false;
    d->endlessText = false;
}

void Controller::setAnimated(bool animated)
{
    if (animated)
        d->animation->start();
    else
        d->animation->stop();
}

bool Controller::isAnimated() const
{
    return d->animation->isActive();
}

void Controller::animationStep()
{
    const quint32 t = ++d->animationTicks;
    // The demo cycle: a long run, a short alarm now and then, and idle pauses.
    const quint32 phase = t % 600;
    if (phase < 400)
        d->state = RunState::Running;
    else if (phase < 430 && (t / 600) % 3 == 2)
        d->state = RunState::Alarm;
    else
        d->state = RunState::Idle;
    d->workMode = d->state == RunState::Running ? 32 : 4;

    const bool running = d->state == RunState::Running;
    for (int i = 0; i < d->axes.size(); ++i) {
        AxisConfig &a = d->axes[i];
        if (running) {
            const qint32 step = qint32(137 * (i + 1));
            const bool forward = (t / (50 + 10 * i)) % 2 == 0;
            a.absolute += forward ? step : -step;
            a.machine += forward ? step : -step;
            a.speed = qint32(a.speedParameter / 10 * (forward ? 1 : -1));
            a.torque = qint32(120 + 15 * i + (t % 7));
        } else {
            a.speed = 0;
            a.torque = 0;
        }
    }
    if (running) {
        ++d->cycleTime;
        ++d->runTime;
        if (t % 50 == 0) {
            ++d->pieceCount;
            d->cycleTime = 0;
        }
    }
    if (t % 5 == 0) {
        d->inputs[0] ^= quint16(1u << ((t / 5) % 16));
        d->outputs[0] ^= quint16(1u << ((t / 10) % 16));
    }
}

void Controller::setAnimationTicks(quint32 ticks)
{
    d->animationTicks = ticks;
}

void Controller::copySetUpFrom(const Controller &model)
{
    if (&model == this)
        return;
    QTimer *const animation = d->animation;
    QVector<Request> log = std::move(d->log);
    *d = *model.d;
    d->animation = animation;
    d->log = std::move(log);
}

QVector<Request> Controller::requests() const
{
    return d->log;
}
void Controller::clearRequests()
{
    d->log.clear();
}

void Controller::setRequestLogLimit(int limit)
{
    d->logLimit = qMax(1, limit);
    if (d->log.size() > d->logLimit)
        d->log.erase(d->log.begin(), d->log.begin() + (d->log.size() - d->logLimit));
}

bool Controller::readsRunState(const Request &request) const
{
    const auto covers = [&request](int address) {
        return address >= request.address && address < request.address + request.count;
    };
    if (request.function == 0x01)
        return (d->runCoil > 0 && covers(d->runCoil - 1)) || (d->alarmCoil > 0 && covers(d->alarmCoil - 1)) ||
               (d->idleCoil > 0 && covers(d->idleCoil - 1));
    if (request.function != 0x03)
        return false;
    for (auto it = d->blocks.cbegin(); it != d->blocks.cend(); ++it) {
        if (it.value().type == TypeChannelState && it.value().item == 70 && covers(it.key() + 4))
            return true;
    }
    return false;
}

quint16 Controller::Private::statusFlags() const
{
    if (statusFlagsOverride >= 0)
        return quint16(statusFlagsOverride);
    switch (state) {
    case RunState::Running:
        return 0x0080;
    case RunState::Alarm:
        return 0x0100;
    case RunState::Idle:
        break;
    }
    return 0;
}

bool Controller::Private::coilValue(int coil) const
{
    // The coil numbers are counted from 1; coil number n is Modbus coil n - 1.
    if (runCoil > 0 && coil == runCoil - 1 && state == RunState::Running)
        return true;
    if (alarmCoil > 0 && coil == alarmCoil - 1 && state == RunState::Alarm)
        return true;
    if (idleCoil > 0 && coil == idleCoil - 1 && state == RunState::Idle)
        return true;
    return false;
}

quint16 Controller::Private::perAxisWord(int offset,
                                         const std::function<quint32(const AxisConfig &)> &value) const
{
    // Axis a at words 6 + 2a (low) and 7 + 2a (high); words 4 and 5 unused.
    if (offset < 6)
        return 0;
    const int axis = (offset - 6) / 2;
    if (axis >= axes.size())
        return 0;
    const quint32 v = value(axes.at(axis));
    return (offset - 6) % 2 == 0 ? lowWord(v) : highWord(v);
}

quint16 Controller::Private::blockWord(const Descriptor &desc, int offset) const
{
    if (desc.reserved != 0)
        return 0;
    const auto pair = [offset](int first, quint32 v) -> quint16 {
        if (offset == first)
            return lowWord(v);
        if (offset == first + 1)
            return highWord(v);
        return 0;
    };
    switch (desc.type) {
    case TypeChannelState:
        if (desc.item == 88 && desc.channel == 0)
            return offset >= 4 && offset < 4 + reg::IoWords ? inputs[offset - 4] : 0;
        if (desc.item == 89 && desc.channel == 0)
            return offset >= 4 && offset < 4 + reg::IoWords ? outputs[offset - 4] : 0;
        if (desc.item == 70 && desc.channel < channelCount) {
            if (offset == 4)
                return statusFlags();
            if (offset == 5)
                return quint16(workMode) << 8;
        }
        return 0;
    case TypeCounters:
        if (desc.item != 0 || desc.channel >= channelCount)
            return 0;
        if (offset == 8)
            return programNumber;
        return offset < 6 ? pair(4, pieceCount) : pair(6, pieceTarget);
    case TypeTimes:
        if (desc.item != 0 || desc.channel >= channelCount)
            return 0;
        return offset < 6 ? pair(4, cycleTime) : pair(6, runTime);
    case TypeAxisParameter:
        switch (desc.item) {
        case 10:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.channel); });
        case 12:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.nameCode); });
        case 13:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.decimals); });
        case 22:
            return perAxisWord(offset, [](const AxisConfig &a) { return a.speedParameter; });
        case 3355:
            return pair(6, quint32(runCoil));
        case 3356:
            return pair(6, quint32(alarmCoil));
        case 3357:
            return pair(6, quint32(idleCoil));
        }
        return 0;
    case TypeMachineValue:
        switch (desc.item) {
        case 4:
            return offset == 10 ? quint16((qMin(axes.size(), 255) << 8) | qMin<int>(channelCount, 255)) : 0;
        case 10:
            return pair(6, speedScale);
        case 300:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.absolute); });
        case 302:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.machine); });
        case 333:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.speed); });
        case 433:
            return perAxisWord(offset, [](const AxisConfig &a) { return quint32(a.torque); });
        }
        return 0;
    }
    return 0;
}

quint16 Controller::Private::registerValue(int address) const
{
    if (address == reg::SignatureReadBack)
        return signature ? reg::SignatureWord : 0;
    if (address == reg::SignatureReadBack + 1)
        return signature ? signatureChannel : 0;
    if (address >= reg::TransferReply && address < reg::TransferReply + reply.size())
        return reply.at(address - reg::TransferReply);

    auto it = blocks.upperBound(address);
    if (it != blocks.begin()) {
        --it;
        const int offset = address - it.key();
        if (offset < reg::BlockSpan) {
            const Descriptor &desc = it.value();
            switch (offset) {
            case 0:
                return desc.type;
            case 1:
                return desc.channel;
            case 2:
                return desc.item;
            case 3:
                return desc.reserved;
            default:
                return blockWord(desc, offset);
            }
        }
    }
    return plain.value(address, 0);
}

QByteArray Controller::handlePdu(quint8 station, const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return QByteArray();

    Request request;
    request.station = station;
    request.function = quint8(pdu.at(0));
    const quint8 function = request.function;

    QByteArray response;
    const bool ours = station == d->station;
    const auto touchesFault = [this](int start, int count) -> quint8 {
        for (auto it = d->exceptionAt.cbegin(); it != d->exceptionAt.cend(); ++it) {
            if (it.key() >= start && it.key() < start + count)
                return it.value();
        }
        return 0;
    };

    if (function == 0x01 || function == 0x03) {
        if (pdu.size() >= 5) {
            request.address = wordAt(pdu, 1);
            request.count = wordAt(pdu, 3);
        }
        const int limit = function == 0x01 ? reg::MaxReadCoils : reg::MaxReadRegisters;
        if (pdu.size() != 5 || request.count < 1 || request.count > limit) {
            response = exceptionPdu(function, exc::IllegalValue);
        } else if (request.address + request.count > 0x10000) {
            response = exceptionPdu(function, exc::IllegalAddress);
        } else if (quint8 code = touchesFault(request.address, request.count)) {
            response = exceptionPdu(function, code);
        } else if (function == 0x01) {
            QByteArray bits((request.count + 7) / 8, '\0');
            for (int i = 0; i < request.count; ++i) {
                if (d->coilValue(request.address + i))
                    bits[i / 8] = char(quint8(bits.at(i / 8)) | (1u << (i % 8)));
            }
            response.append(char(function));
            response.append(char(bits.size()));
            response.append(bits);
        } else {
            int count = request.count;
            const auto shortIt = d->shortRead.constFind(request.address);
            if (shortIt != d->shortRead.constEnd())
                count = qMin(count, shortIt.value());
            response.append(char(function));
            response.append(char(count * 2));
            for (int i = 0; i < count; ++i)
                appendWord(response, d->registerValue(request.address + i));
        }
    } else if (function == 0x10) {
        bool wellFormed = false;
        if (pdu.size() >= 6) {
            request.address = wordAt(pdu, 1);
            request.count = wordAt(pdu, 3);
            const int byteCount = quint8(pdu.at(5));
            wellFormed = request.count >= 1 && request.count <= reg::MaxWriteRegisters &&
                         byteCount == 2 * request.count && pdu.size() == 6 + byteCount;
            if (wellFormed) {
                for (int i = 0; i < request.count; ++i)
                    request.values.append(wordAt(pdu, 6 + 2 * i));
            }
        }
        if (!wellFormed) {
            response = exceptionPdu(function, exc::IllegalValue);
        } else if (request.address + request.count > 0x10000) {
            response = exceptionPdu(function, exc::IllegalAddress);
        } else if (quint8 code = touchesFault(request.address, request.count)) {
            response = exceptionPdu(function, code);
        } else if (ours) {
            quint8 code = 0;
            if (request.address == reg::TransferCommand) {
                code = d->transferCommand(request.values);
            } else if (request.address == reg::DeleteCommand) {
                code = d->deleteCommand(request.values);
            } else if (request.address == reg::SignatureBlock && request.values.at(0) == reg::SignatureWord) {
                d->signature = true;
                d->signatureChannel = request.values.size() > 1 ? request.values.at(1) : 0;
            } else if (request.count >= 4) {
                // A descriptor written to a block's first register installs its variable.
                Descriptor desc;
                desc.type = request.values.at(0);
                desc.channel = request.values.at(1);
                desc.item = request.values.at(2);
                desc.reserved = request.values.at(3);
                d->blocks.insert(request.address, desc);
                for (int i = 4; i < request.count; ++i)
                    d->plain.insert(request.address + i, request.values.at(i));
            } else {
                for (int i = 0; i < request.count; ++i)
                    d->plain.insert(request.address + i, request.values.at(i));
            }
            if (code) {
                response = exceptionPdu(function, code);
            } else {
                response.append(pdu.left(5));
            }
        }
    } else {
        response = exceptionPdu(function, exc::IllegalFunction);
    }

    // A request to another station is not ours to answer; it was not acted on
    // either, but the log keeps it so the PC's address can be checked.
    if (!ours)
        response.clear();
    d->log.append(request);
    if (d->log.size() > d->logLimit)
        d->log.erase(d->log.begin(), d->log.begin() + (d->log.size() - d->logLimit / 2)); // amortised trim
    // Nothing of this object is touched after the signal: a receiver may delete it.
    emit requestHandled(request);
    return response;
}

} // namespace sim
