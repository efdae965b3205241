#include "config/textcodec.h"

#include <QTextCodec>

namespace TextCodec {

bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int n = bytes.size();
    int i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        // The smallest second byte and the largest one for each lead byte rule
        // out overlong forms, surrogates and code points above U+10FFFF.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            if (b == 0xE0)
                low = 0xA0;
            else if (b == 0xED)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (n - i - 1 < extra)
            return false;
        if (p[i + 1] < low || p[i + 1] > high)
            return false;
        for (int k = 2; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

static QString fromUtf8WithoutBom(const QByteArray &bytes)
{
    // The (pointer, size) form: the QByteArray one stops at the first NUL
    // byte. It drops one byte-order mark at the start, the file's own; a
    // U+FEFF after it is a character of the text and stays.
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// True when the GBK byte structure ends inside a double-byte character. The
// system's GBK decoder drops such a half character without a word.
static bool endsInsideGbkCharacter(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int n = bytes.size();
    int i = 0;
    while (i < n) {
        if (p[i] >= 0x81 && p[i] <= 0xFE) {
            if (i + 1 >= n)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

// GBK that the decoder takes without complaint. A text cut inside a
// double-byte character keeps a replacement character for the lost half.
static bool decodeGbk(const QByteArray &bytes, QString *text)
{
    QTextCodec *gbk = QTextCodec::codecForName("GBK");
    if (!gbk)
        return false;
    QTextCodec::ConverterState state;
    QString decoded = gbk->toUnicode(bytes.constData(), bytes.size(), &state);
    // Some GBK decoders substitute U+FFFD for a byte pair they cannot map
    // without counting it; no GBK character maps to U+FFFD itself.
    if (state.invalidChars != 0 || decoded.contains(QChar::ReplacementCharacter))
        return false;
    if (state.remainingChars > 0 || endsInsideGbkCharacter(bytes))
        decoded.append(QChar::ReplacementCharacter);
    *text = decoded;
    return true;
}

QString decodeLocalFile(const QByteArray &bytes)
{
    if (isValidUtf8(bytes))
        return fromUtf8WithoutBom(bytes);
    QString text;
    if (decodeGbk(bytes, &text))
        return text;
    return fromUtf8WithoutBom(bytes);
}

QString decodeControllerText(const QByteArray &bytes)
{
    QTextCodec *local = QTextCodec::codecForLocale();
    QTextCodec::ConverterState state;
    QString text = local->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    QString gbk;
    if (decodeGbk(bytes, &gbk))
        return gbk;
    // Without a state the decoder also marks a sequence cut at the end.
    return local->toUnicode(bytes.constData(), bytes.size());
}

} // namespace TextCodec
