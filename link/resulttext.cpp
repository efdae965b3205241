#include "link/resulttext.h"

#include "link/protocol.h"

#include <QCoreApplication>

namespace {

struct Reason
{
    int result;
    const char *text;
};

const Reason Reasons[] = {
    {Result::NoDevice, QT_TRANSLATE_NOOP("ResultText", "未选择设备")},
    {Result::NotReady, QT_TRANSLATE_NOOP("ResultText", "未连接")},
    {Result::NotIdle, QT_TRANSLATE_NOOP("ResultText", "非空闲")},
    {Result::OpenFailed, QT_TRANSLATE_NOOP("ResultText", "无法打开")},
    {Result::CloseFailed, QT_TRANSLATE_NOOP("ResultText", "无法关闭")},
    {Result::ReadFailed, QT_TRANSLATE_NOOP("ResultText", "读取失败")},
    {Result::WriteFailed, QT_TRANSLATE_NOOP("ResultText", "写入失败")},
    {Result::Busy, QT_TRANSLATE_NOOP("ResultText", "忙")},
    {Result::SizeDiffers, QT_TRANSLATE_NOOP("ResultText", "大小不符")},
    {Result::Locked, QT_TRANSLATE_NOOP("ResultText", "另一程序正在与该设备传输")},
    {Result::VerifyFailed, QT_TRANSLATE_NOOP("ResultText", "校验不符")},
    {Result::NotArchived, QT_TRANSLATE_NOOP("ResultText", "未能存档")},
};

QString translated(const char *text)
{
    return QCoreApplication::translate("ResultText", text);
}

} // namespace

namespace ResultText {

QString reason(int result)
{
    if (result == Result::Ok)
        return QString();
    for (const Reason &r : Reasons) {
        if (r.result == result)
            return translated(r.text);
    }
    return translated(QT_TRANSLATE_NOOP("ResultText", "失败"));
}

QString withCode(int result)
{
    return QCoreApplication::translate("ResultText", "%1 (代码 %2)").arg(reason(result)).arg(result);
}

} // namespace ResultText
