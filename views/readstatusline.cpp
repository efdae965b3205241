#include "views/readstatusline.h"

#include "link/modbusdevice.h"
#include "link/protocol.h"

ReadStatusLine::ReadStatusLine(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("label_readStatus"));
    setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    setWordWrap(true);
    hide();
}

QString ReadStatusLine::reason(int result)
{
    switch (result) {
    case Result::NoDevice:
        return tr("未选择设备");
    case Result::NotReady:
        return tr("未连接 (代码 2)");
    case Result::Busy:
        return tr("设备忙 (代码 9)");
    case Result::SizeDiffers:
        return tr("大小不符");
    default:
        if (const QString transfer = ModbusDevice::transferReason(result); !transfer.isEmpty())
            return transfer;
        return tr("读取错误 (代码 %1)").arg(result);
    }
}

void ReadStatusLine::setResult(int result)
{
    if (result == Result::Ok)
        reset();
    else
        setFailure(reason(result));
}

void ReadStatusLine::setFailure(const QString &reason)
{
    setText(tr("上次读取失败：%1").arg(reason));
    show();
}

void ReadStatusLine::reset()
{
    clear();
    hide();
}
