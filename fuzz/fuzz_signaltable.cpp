#include "views/signaltable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Signal tables are read from the resource bundle, but the reader must hold up
// against any bytes: bounded entry count and no reads past the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const QVector<SignalTable::Entry> entries = SignalTable::parse(content);
    if (entries.size() > SignalTable::MaxEntries)
        std::abort();
    for (const SignalTable::Entry &entry : entries) {
        if (entry.name.contains(QLatin1Char(' ')) || entry.name.contains(QChar(0)))
            std::abort();
    }
    return 0;
}
