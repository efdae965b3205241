// The upload dialog's rules for what a user drops or copies: a file's base
// name is a program (O, then a decimal number, never wrapped) or not, and
// a clipboard text becomes one path; neither may crash on any text.
#include "config/filenames.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    uint number = 0;
    const bool isProgram = FileNames::offeredProgramNumber(text, &number);

    QString digits = text;
    if (digits.startsWith(QLatin1Char('O')))
        digits.remove(0, 1);
    digits = digits.trimmed();
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    bool allDigits = !digits.isEmpty();
    quint64 value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            allDigits = false;
            break;
        }
        // Held just above the largest number a name gives, so it never wraps.
        value = qMin<quint64>(value * 10 + quint64(c.unicode() - '0'), 0x100000000u);
    }
    // A program name is digits only, and any 1 to 9 plain digits are one.
    if (isProgram && (!allDigits || number != value))
        std::abort();
    if (!isProgram && allDigits && digits.size() <= 9 && !text.contains(QLatin1Char('+')))
        std::abort();

    FileNames::pathFromClipboard(text);
    return 0;
}
