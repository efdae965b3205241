#include "config/stopsettings.h"

#include <QCoreApplication>

bool operator==(const Shift &a, const Shift &b)
{
    return a.Name == b.Name && a.Start == b.Start && a.End == b.End;
}

bool operator==(const StopReason &a, const StopReason &b)
{
    return a.Code == b.Code && a.Zh == b.Zh && a.En == b.En && a.Planned == b.Planned &&
           a.Retired == b.Retired;
}

namespace StopSettings {

QVector<StopReason> defaultReasons()
{
    // The English stands beside the Chinese in the file itself, so both are
    // written here rather than translated.
    return {
        {1, QStringLiteral("待料"), QStringLiteral("Waiting for material"), false, false},
        {2, QStringLiteral("换刀/刀具"), QStringLiteral("Tooling"), false, false},
        {3, QStringLiteral("调机换型"), QStringLiteral("Setup"), false, false},
        {4, QStringLiteral("程序"), QStringLiteral("Program"), false, false},
        {5, QStringLiteral("检验"), QStringLiteral("Inspection"), false, false},
        {6, QStringLiteral("维修保养"), QStringLiteral("Maintenance"), false, false},
        {7, QStringLiteral("无人操作"), QStringLiteral("No operator"), false, false},
        {8, QStringLiteral("计划停机"), QStringLiteral("Planned stop"), true, false},
        {9, QStringLiteral("其他"), QStringLiteral("Other"), false, false},
    };
}

const StopReason *reasonOf(const QVector<StopReason> &reasons, int code)
{
    for (const StopReason &reason : reasons) {
        if (reason.Code == code)
            return &reason;
    }
    return nullptr;
}

QTime timeFrom(const QString &text)
{
    return QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
}

namespace {

// The minutes of the day a shift covers, as one or two stretches of [0, 1440).
QVector<QPair<int, int>> minutesOf(const Shift &shift)
{
    const int start = shift.Start.hour() * 60 + shift.Start.minute();
    const int end = shift.End.hour() * 60 + shift.End.minute();
    if (end > start)
        return {{start, end}};
    return {{start, 1440}, {0, end}};
}

} // namespace

bool checkShifts(const QVector<Shift> &shifts, QString *problem)
{
    for (int i = 0; i < shifts.size(); ++i) {
        if (shifts.at(i).Name.trimmed().isEmpty() || !shifts.at(i).Start.isValid() ||
            !shifts.at(i).End.isValid()) {
            *problem = QCoreApplication::translate("StopSettings", "第 %1 个班次缺少名称或时间。").arg(i + 1);
            return false;
        }
        for (int j = 0; j < i; ++j) {
            for (const auto &a : minutesOf(shifts.at(i))) {
                for (const auto &b : minutesOf(shifts.at(j))) {
                    if (a.first < b.second && b.first < a.second) {
                        *problem = QCoreApplication::translate("StopSettings", "班次“%1”与“%2”重叠。")
                                       .arg(shifts.at(j).Name, shifts.at(i).Name);
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

} // namespace StopSettings
