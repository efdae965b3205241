#include "link/exportwords.h"

#include "link/protocol.h"

namespace {

struct Word
{
    int code;
    const char *word;
};

const Word States[] = {
    {DeviceState::NotConnected, "not connected"},
    {DeviceState::Running, "running"},
    {DeviceState::Alarm, "alarm"},
    {DeviceState::Idle, "idle"},
    {DeviceState::Connecting, "connecting"},
};

const Word Operations[] = {
    {DeviceEvent::ReadProgram, "read program"},     {DeviceEvent::ReadFile, "read file"},
    {DeviceEvent::WriteProgram, "write program"},   {DeviceEvent::WriteFile, "write file"},
    {DeviceEvent::DeleteProgram, "delete program"},
};

template<size_t N> const char *wordOf(const Word (&table)[N], int code)
{
    for (const Word &w : table) {
        if (w.code == code)
            return w.word;
    }
    return nullptr;
}

} // namespace

namespace ExportWords {

QString state(int code)
{
    const char *word = wordOf(States, code);
    return QLatin1String(word ? word : "unknown");
}

QString brokerState(int code)
{
    const char *word = wordOf(States, code);
    return code == DeviceState::NotConnected || !word ? QStringLiteral("offline") : QLatin1String(word);
}

QString operation(DeviceEvent::Kind kind)
{
    return QLatin1String(wordOf(Operations, kind));
}

QString brokerOperation(DeviceEvent::Kind kind)
{
    return operation(kind).replace(QLatin1Char(' '), QLatin1Char('-'));
}

QString changeOperation(DeviceEvent::Kind kind)
{
    const bool read = kind == DeviceEvent::ReadProgram || kind == DeviceEvent::ReadFile;
    return read ? QString() : operation(kind);
}

QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace ExportWords
