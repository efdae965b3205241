#include "config/textcodec.h"

#include <QTextCodec>
#include <QVector>

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

namespace TextCodec {

namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");

// One line of a text's bytes: its characters [begin, end) and its line end
// [end, next). The last line has no line end.
struct LineSpan
{
    int begin;
    int end;
    int next;
};

// The lines as editors count them: CR LF, LF and a lone CR each end one.
QVector<LineSpan> lineSpans(const char *p, int begin, int end)
{
    QVector<LineSpan> lines;
    int start = begin;
    for (int i = begin; i < end; ++i) {
        if (p[i] != '\n' && p[i] != '\r')
            continue;
        int next = i + 1;
        if (p[i] == '\r' && next < end && p[next] == '\n')
            ++next;
        lines.append({start, i, next});
        start = next;
        i = next - 1;
    }
    lines.append({start, end, end});
    return lines;
}

DecodedText::LineEnd firstLineEnd(const char *p, int begin, int end)
{
    for (int i = begin; i < end; ++i) {
        if (p[i] == '\n')
            return DecodedText::LineEnd::Lf;
        if (p[i] == '\r')
            return i + 1 < end && p[i + 1] == '\n' ? DecodedText::LineEnd::CrLf : DecodedText::LineEnd::Cr;
    }
    return DecodedText::LineEnd::Lf;
}

QByteArray lineEndBytes(DecodedText::LineEnd lineEnd)
{
    switch (lineEnd) {
    case DecodedText::LineEnd::CrLf:
        return QByteArrayLiteral("\r\n");
    case DecodedText::LineEnd::Cr:
        return QByteArrayLiteral("\r");
    case DecodedText::LineEnd::Lf:
        break;
    }
    return QByteArrayLiteral("\n");
}

// The decodes below keep a U+FEFF at the start (IgnoreHeader): the text's own
// byte-order mark has been set aside before, and any further one is a
// character of the text.
//
// Bytes with faults decode line by line, so every line of the text stands for
// one line of the bytes, whatever a fault's replacement swallowed; a sequence
// cut at a line's end shows as a replacement character.
QString decodeByLines(QTextCodec *codec, const char *p, int begin, int end)
{
    const QVector<LineSpan> lines = lineSpans(p, begin, end);
    QString text;
    text.reserve(end - begin);
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text.append(QLatin1Char('\n'));
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const LineSpan &line = lines.at(i);
        text.append(codec->toUnicode(p + line.begin, line.end - line.begin, &state));
        if (state.remainingChars > 0)
            text.append(QChar::ReplacementCharacter);
    }
    return text;
}

QString withLineFeeds(QString text)
{
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return text;
}

// `clean` holds the text when the bytes decoded without a fault.
DecodedText decoded(const QByteArray &bytes, int begin, int end, QTextCodec *codec, const QString *clean)
{
    DecodedText result;
    result.bytes = bytes;
    result.textBegin = begin;
    result.textEnd = end;
    result.codec = codec->name();
    const char *p = bytes.constData();
    result.lineEnd = firstLineEnd(p, begin, end);
    result.text = clean ? withLineFeeds(*clean) : decodeByLines(codec, p, begin, end);
    return result;
}

int markLength(const QByteArray &bytes)
{
    return bytes.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0;
}

bool sameLine(const QStringRef &was, const QStringRef &now)
{
    if (was == now)
        return true;
    return was.size() == now.size() && was.contains(QChar::Nbsp) &&
           was.toString().replace(QChar::Nbsp, QLatin1Char(' ')) == now;
}

// Characters an editor's document keeps as a break between its lines and
// gives back as a line feed: the line and paragraph separators and the two
// it marks frames with.
bool isHiddenBreak(QChar c)
{
    const ushort u = c.unicode();
    return u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

// A line as an editor gives it back: a line of the text, or the part of one
// between its hidden breaks.
struct ShownLine
{
    QStringRef text;
    int line;  // the text's line it is part of
    bool last; // the last part of that line
};

QVector<ShownLine> shownLines(const QVector<QStringRef> &lines)
{
    QVector<ShownLine> shown;
    shown.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QStringRef &line = lines.at(i);
        int start = 0;
        for (int k = 0; k < line.size(); ++k) {
            if (isHiddenBreak(line.at(k))) {
                shown.append({line.mid(start, k - start), i, false});
                start = k + 1;
            }
        }
        shown.append({line.mid(start), i, true});
    }
    return shown;
}

} // namespace

DecodedText decodeFromController(const QByteArray &bytes)
{
    const int begin = markLength(bytes);
    const int zero = bytes.indexOf('\0', begin);
    const int end = zero < 0 ? bytes.size() : zero;
    const char *p = bytes.constData() + begin;
    QTextCodec *local = QTextCodec::codecForLocale();
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString text = local->toUnicode(p, end - begin, &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return decoded(bytes, begin, end, local, &text);
    QString gbk;
    if (decodeGbk(QByteArray::fromRawData(p, end - begin), &gbk))
        return decoded(bytes, begin, end, QTextCodec::codecForName("GBK"), &gbk);
    return decoded(bytes, begin, end, local, nullptr);
}

DecodedText decodeFromFile(const QByteArray &bytes)
{
    const int begin = markLength(bytes);
    const QByteArray body = QByteArray::fromRawData(bytes.constData() + begin, bytes.size() - begin);
    QTextCodec *utf8 = QTextCodec::codecForMib(106);
    if (isValidUtf8(body)) {
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const QString text = utf8->toUnicode(body.constData(), body.size(), &state);
        return decoded(bytes, begin, bytes.size(), utf8, &text);
    }
    QString gbk;
    if (decodeGbk(body, &gbk))
        return decoded(bytes, begin, bytes.size(), QTextCodec::codecForName("GBK"), &gbk);
    return decoded(bytes, begin, bytes.size(), utf8, nullptr);
}

QByteArray encode(const DecodedText &original, const QString &edited)
{
    if (edited == original.text)
        return original.bytes;
    QTextCodec *codec = original.codec.isEmpty() ? nullptr : QTextCodec::codecForName(original.codec);
    if (!codec)
        codec = QTextCodec::codecForLocale();
    const QByteArray lineEnd = lineEndBytes(original.lineEnd);

    const char *p = original.bytes.constData();
    const int begin = qBound(0, original.textBegin, original.bytes.size());
    const int end = qBound(begin, original.textEnd, original.bytes.size());
    const QVector<LineSpan> raw = lineSpans(p, begin, end);
    QVector<QStringRef> was = original.text.splitRef(QLatin1Char('\n'));
    const QVector<QStringRef> now = edited.splitRef(QLatin1Char('\n'));
    // A value put together by hand may not describe its bytes: then no line
    // of them is kept.
    if (was.size() != raw.size())
        was.clear();
    // Lines are compared as the editor gives them back, a line with hidden
    // breaks as several; such a line is kept only where all its parts are.
    const QVector<ShownLine> shown = shownLines(was);

    // Lines kept at the start and at the end. The last line has no line end,
    // so it is kept at the start only where it is the last one in both.
    const int n = shown.size();
    const int m = now.size();
    const int shorter = qMin(n, m);
    int head = 0;
    const int headLimit = n == m ? n : shorter - 1;
    while (head < headLimit && sameLine(shown.at(head).text, now.at(head)))
        ++head;
    int tail = 0;
    while (tail < shorter - head && sameLine(shown.at(n - 1 - tail).text, now.at(m - 1 - tail)))
        ++tail;
    // The edited line each shown line stands for, -1 where none. With as many
    // lines as before, a line may also stand where it stood.
    QVector<int> standsFor(n, -1);
    for (int i = 0; i < n; ++i) {
        if (i < head || (n == m && sameLine(shown.at(i).text, now.at(i))))
            standsFor[i] = i;
        else if (i >= n - tail)
            standsFor[i] = i - n + m;
    }
    // Per edited line: the text's line whose bytes go back there (-2 where
    // they went back with the line before, -1 where it is encoded).
    QVector<int> kept(m, -1);
    for (int first = 0; first < n;) {
        int last = first;
        bool whole = standsFor.at(first) >= 0;
        for (; !shown.at(last).last; ++last)
            whole = whole && standsFor.at(last + 1) == standsFor.at(first) + (last + 1 - first);
        if (whole) {
            kept[standsFor.at(first)] = shown.at(first).line;
            for (int i = first + 1; i <= last; ++i)
                kept[standsFor.at(i)] = -2;
        }
        first = last + 1;
    }

    QByteArray out;
    out.reserve(original.bytes.size() + edited.size());
    out.append(p, begin);
    for (int i = 0; i < m; ++i) {
        if (kept.at(i) >= 0) {
            const LineSpan &line = raw.at(kept.at(i));
            out.append(p + line.begin, line.next - line.begin);
            continue;
        }
        if (kept.at(i) == -2)
            continue;
        out.append(codec->fromUnicode(now.at(i).constData(), now.at(i).size(), nullptr));
        if (i < m - 1)
            out.append(lineEnd);
    }
    out.append(p + end, original.bytes.size() - end);
    return out;
}

} // namespace TextCodec
