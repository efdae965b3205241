#pragma once

#include <QStringList>

// How a card's state label looks for each state code 0..4 (not connected,
// run, alarm, free, connecting): the picture beside the text, its colour and
// font, as one style sheet each. The history window draws its periods in the
// same colours.
namespace StateLook {

QStringList styles();
// The label's text per state code, in the installed translation; indented so
// the text clears the picture.
QStringList texts();

} // namespace StateLook
