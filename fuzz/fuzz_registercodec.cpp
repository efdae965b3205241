// Feeds arbitrary register words to every decoder: nothing may read past the
// words given, overflow or crash, whatever the controller sends.
#include "config/filenames.h"
#include "link/registercodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QVector<quint16> words;
    for (size_t i = 0; i + 1 < size; i += 2)
        words.append(quint16(data[i] | (data[i + 1] << 8)));

    const int state = RegisterCodec::statusState(words);
    if (state < 1 || state > 3)
        std::abort();

    // Past the largest block the PC reads (101 registers) every word is absent.
    const int n = qMin(words.size(), 104);
    for (int index = -2; index < n + 3; ++index) {
        RegisterCodec::unsigned32(words, index);
        RegisterCodec::signed32(words, index);
        const quint16 w = RegisterCodec::wordAt(words, index);
        RegisterCodec::axisLabel(w);
        RegisterCodec::workModeText(quint8(w >> 8));
        FileNames::programName(w);
    }
    for (int axis = -1; axis < qMin(34, n / 2); ++axis) {
        const qint32 v = RegisterCodec::axisSigned(words, axis);
        const quint32 u = RegisterCodec::axisUnsigned(words, axis);
        const int decimals = RegisterCodec::axisWord(words, axis);
        RegisterCodec::coordinateText(v, decimals);
        RegisterCodec::coordinateText(v, -decimals);
        RegisterCodec::cycleTimeText(u);
        RegisterCodec::runTimeText(u);
        const float divisor = RegisterCodec::speedDivisor(u, RegisterCodec::unsigned32(words, 0));
        RegisterCodec::speedValue(v, divisor);
        RegisterCodec::torqueValue(v);
    }
    return 0;
}
