#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The controller models' signal definition tables (":/define/input_P7" ...):
// UTF-8 with a byte-order mark, one "name pin" entry per CR LF line.
namespace SignalTable {

constexpr int MaxEntries = 64;

struct Entry
{
    QString name;
    QString pin;
};

QVector<Entry> parse(const QByteArray &content);
QString modelSuffix(int model); // 0 "P7", 1 "P5", other "P5X"

} // namespace SignalTable
