// Local text files are whatever the user drops on a card, controller texts
// whatever the controller sends: decoding must never crash, and the UTF-8
// check must agree with the UTF-8 decoder; what is read goes back unchanged.
#include "config/textcodec.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const bool valid = TextCodec::isValidUtf8(bytes);
    const QString text = TextCodec::decodeLocalFile(bytes);
    if (valid) {
        // Valid UTF-8 survives a round trip unchanged (less a leading byte-order mark).
        QByteArray expected = bytes;
        if (expected.startsWith("\xEF\xBB\xBF"))
            expected.remove(0, 3);
        if (text.toUtf8() != expected)
            std::abort();
    } else if (QString::fromUtf8(bytes).toUtf8() == bytes) {
        // Anything the UTF-8 decoder reproduces exactly must have been accepted.
        std::abort();
    }
    // Controller texts: on a UTF-8 desktop, valid UTF-8 is read as UTF-8.
    const QString received = TextCodec::decodeControllerText(bytes);
    if (valid && !bytes.startsWith("\xEF\xBB\xBF") && QTextCodec::codecForLocale()->mibEnum() == 106 &&
        received.toUtf8() != bytes)
        std::abort();

    // A text read and written back unedited is the bytes that came. A line
    // put before the first keeps every line of them, one after the last keeps
    // every line before the last; the bytes around the text stay.
    for (const TextCodec::DecodedText &read :
         {TextCodec::decodeFromController(bytes), TextCodec::decodeFromFile(bytes)}) {
        if (read.text.contains(QLatin1Char('\r')) || TextCodec::encode(read, read.text) != bytes)
            std::abort();
        const QByteArray before = bytes.left(read.textBegin);
        const QByteArray after = bytes.mid(read.textEnd);
        // No line of the text holds a CR: this one matches none of them.
        const QByteArray first = TextCodec::encode(read, QStringLiteral("\r\n") + read.text);
        if (!first.startsWith(before) || !first.endsWith(bytes.mid(read.textBegin)) ||
            first.size() < bytes.size() + 2 || first.size() > bytes.size() + 3)
            std::abort();
        int lastLine = read.textBegin;
        for (int i = read.textBegin; i < read.textEnd; ++i) {
            if (bytes.at(i) == '\n' || bytes.at(i) == '\r')
                lastLine = i + 1;
        }
        const QByteArray last = TextCodec::encode(read, read.text + QStringLiteral("\nM30"));
        if (!last.startsWith(bytes.left(lastLine)) || !last.endsWith(after))
            std::abort();
    }
    return 0;
}
