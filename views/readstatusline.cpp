#include "views/readstatusline.h"

#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/resulttext.h"

ReadStatusLine::ReadStatusLine(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("label_readStatus"));
    setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    setWordWrap(true);
    hide();
}

QString ReadStatusLine::reason(int result)
{
    // No device selected needs no code to be understood.
    return result == Result::NoDevice ? ResultText::reason(result) : ResultText::withCode(result);
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
