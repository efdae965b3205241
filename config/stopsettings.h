#pragma once

#include <QString>
#include <QTime>
#include <QVector>

// The shop's working time and its words for why a machine stood still, as
// Configure.xml keeps them: <Shift Name=".." Start="06:00" End="14:00"/> and
// <Reason Code="1" Zh=".." En=".."/> under the root.

// A shift from its start to its end; an end at or before the start is on the
// next day (a night shift), an end equal to the start makes a whole day.
struct Shift
{
    QString Name;
    QTime Start;
    QTime End;
};

bool operator==(const Shift &a, const Shift &b);
inline bool operator!=(const Shift &a, const Shift &b)
{
    return !(a == b);
}

// A reason a stop is tagged with. Its code keeps its meaning for good: a
// reason taken off the list stays in the file as retired (no longer offered),
// and a new one gets a code never used before.
struct StopReason
{
    int Code = 0;
    QString Zh;
    QString En;
    bool Planned = false; // a planned stop: not held against availability
    bool Retired = false;

    // The text in the program's language (0 Chinese, 1 English).
    QString text(int language) const { return language == 1 && !En.isEmpty() ? En : Zh; }
};

bool operator==(const StopReason &a, const StopReason &b);
inline bool operator!=(const StopReason &a, const StopReason &b)
{
    return !(a == b);
}

namespace StopSettings {

constexpr int MaxShifts = 3;
constexpr int DefaultMicroStopMinutes = 5;
constexpr int DefaultUntaggedMinutes = 10;

// Material, tooling, setup, program, inspection, maintenance, no operator,
// planned stop, other: codes 1 to 9.
QVector<StopReason> defaultReasons();

// The reason of a code, or nullptr.
const StopReason *reasonOf(const QVector<StopReason> &reasons, int code);

// "HH:mm", or an invalid time.
QTime timeFrom(const QString &text);

// False, with *problem telling why, for shifts that overlap or have no name.
bool checkShifts(const QVector<Shift> &shifts, QString *problem);

} // namespace StopSettings
