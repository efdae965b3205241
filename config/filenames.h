#pragma once

#include <QString>
#include <QtGlobal>

// The rules for names of files: a controller's names on the PC, program
// names, and the paths an operator pastes.
namespace FileNames {

// A name that came from a controller (or was typed for one), as the file name
// a save dialog proposes on the PC: the part after the last '/', '\' or ':',
// without leading dots. It names a file in the folder the dialog opens, never
// a folder above it, the root, another drive or a hidden file; it may be empty.
QString plain(const QString &name);

// A program's name on the controller: "O" and the number in at least four
// digits (12 -> "O0012").
QString programName(quint32 number);
// The program number of a name as the controller's directory and a backup
// give it, "O" and exactly four digits ("O0012" -> 12), or -1: "/0012",
// ".0012", "O+012" or "O12" never name program 12.
int programNumber(const QString &name);
// The wider reading of the base name of a file an operator offers for upload:
// "O0012", "O12", "12" and "+12" give 12 (a decimal number, an "O" before it
// optional); false for anything else. A number above the controller's range
// is answered as it is, never wrapped: the caller refuses it.
bool offeredProgramNumber(const QString &baseName, uint *number);

// The local path a clipboard text names: quotes removed, file URLs turned
// into local paths, a plain path taken as it is.
QString pathFromClipboard(const QString &text);

} // namespace FileNames
