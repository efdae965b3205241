#pragma once

#include <QByteArray>
#include <QString>

namespace TextCodec {

// Decodes the bytes of a local text file: valid UTF-8 as UTF-8, otherwise GBK,
// and UTF-8 again when the GBK decoder reports invalid characters.
QString decodeLocalFile(const QByteArray &bytes);

// True when the bytes form valid UTF-8 throughout.
bool isValidUtf8(const QByteArray &bytes);

} // namespace TextCodec
