#pragma once

#include <QtGlobal>

// What each state code 0..4 (not connected, run, alarm, free, connecting)
// looks like wherever it is shown: the card's text (a translation source in
// the "StateLook" context) and its colour as a CSS colour. The cards, the
// history window and the shop board all take them from here.
namespace StateTable {

constexpr int Count = 5;
constexpr const char *Texts[Count] = {
    QT_TRANSLATE_NOOP("StateLook", "中断"), QT_TRANSLATE_NOOP("StateLook", "运行"),
    QT_TRANSLATE_NOOP("StateLook", "报警"), QT_TRANSLATE_NOOP("StateLook", "空闲"),
    QT_TRANSLATE_NOOP("StateLook", "连接中")};
constexpr const char *Colours[Count] = {"rgb(188, 188, 188)", "rgb(48, 255, 58)", "red", "yellow",
                                        "rgb(38, 237, 255)"};

} // namespace StateTable
