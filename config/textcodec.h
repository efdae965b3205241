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

} // namespace TextCodec
