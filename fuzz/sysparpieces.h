#pragma once

#include <QByteArray>
#include <QString>

#include <iterator>

namespace FuzzPieces {

// Each byte picks a piece of a parameter file, so random input reaches the
// section and label rules as well as the line handling.
inline QString sysParText(const QByteArray &bytes)
{
    static const char *const pieces[] = {
        "[SPSTc]",  "[SSPNn]", "[CHNs]",  "[TYPEx]",  "[CHNx]",  "[SETx]", "[spstc]", "\n",
        "\n",       "\n",      "\r\n",    "\r",       "1",       "2",      "3",       "103",
        "0",        "abc",     "-7",      " ",        ";",       "[",      "]",       "x",
        "00000010", "[NCAX]",  "[DISPn]", "[IOXWDn]", "[MCSTc]",
    };
    QString text;
    for (const char byte : bytes)
        text += QString::fromLatin1(pieces[static_cast<unsigned char>(byte) % std::size(pieces)]);
    return text;
}

} // namespace FuzzPieces
