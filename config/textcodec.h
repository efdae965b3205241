#pragma once

#include <QByteArray>
#include <QString>

namespace TextCodec {

// Decodes the bytes of a local text file: valid UTF-8 as UTF-8, otherwise GBK,
// and UTF-8 again when the GBK decoder reports invalid characters. A leading
// UTF-8 byte-order mark is dropped, so it never travels on to a controller.
QString decodeLocalFile(const QByteArray &bytes);

// Decodes a text received from a controller: in the PC's local 8-bit encoding
// when the bytes are valid in it, otherwise as GBK when they are valid GBK
// (controllers keep Chinese comments in GBK, which a UTF-8 desktop would
// otherwise show as replacement characters), otherwise in the local encoding
// with its replacement characters.
QString decodeControllerText(const QByteArray &bytes);

// True when the bytes form valid UTF-8 throughout: no stray continuation
// bytes, no truncated sequence, no overlong form, no surrogate code point and
// nothing above U+10FFFF.
bool isValidUtf8(const QByteArray &bytes);

// A text as it came from a controller or a local file: what the views show,
// and what it takes to give it back as the bytes that came. A text typed from
// scratch is the default value: the PC's local encoding, lines ending in LF.
struct DecodedText
{
    enum class LineEnd { Lf, CrLf, Cr };

    QString text;                  // as decoded, every line end as LF (as editors give text back)
    QByteArray codec;              // the encoding it was decoded from; empty: the PC's local one
    LineEnd lineEnd = LineEnd::Lf; // the first line end of the bytes; new lines get it
    QByteArray bytes;              // as they came
    // The bytes text was decoded from: bytes before them (a byte-order mark)
    // and after them (from a controller text's first zero byte on) are no
    // part of the text and go back with it unchanged.
    int textBegin = 0;
    int textEnd = 0;
};

// As decodeControllerText() decides the encoding.
DecodedText decodeFromController(const QByteArray &bytes);
// As decodeLocalFile() decides the encoding.
DecodedText decodeFromFile(const QByteArray &bytes);

// `edited` (lines ending in LF) in the encoding and line ends of `original`.
// Lines the edit left alone, at the start, at the end and (when no line was
// added or removed) between changed ones, go back as the bytes that came, line
// end included; only the others are encoded. So an unedited text gives the
// bytes back unchanged, also where no encoding reproduces them. A no-break
// space read back as a plain space, as text editors give it, is no edit.
QByteArray encode(const DecodedText &original, const QString &edited);

} // namespace TextCodec
