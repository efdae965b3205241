#pragma once

#include <QString>

// Why an operation ended as it did, in the operator's words: one text per
// result code (link/protocol.h), for every window, message and the command
// line. A new result code gets its line in resulttext.cpp.
namespace ResultText {

// "非空闲" for a controller that was not idle; empty for Ok.
QString reason(int result);
// The reason with its code: "非空闲 (代码 3)".
QString withCode(int result);

} // namespace ResultText
