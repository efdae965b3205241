#pragma once

#include <QString>

namespace FileNames {

// A name that came from a controller (or was typed for one), as the file name
// a save dialog proposes on the PC: the part after the last '/', '\' or ':',
// without leading dots. It names a file in the folder the dialog opens, never
// a folder above it, the root, another drive or a hidden file; it may be empty.
QString plain(const QString &name);

} // namespace FileNames
