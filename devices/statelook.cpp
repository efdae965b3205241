#include "devices/statelook.h"

#include <QCoreApplication>

// The pictures are in the program library's resource bundle, linked from a
// static library where nothing else may reference its registration.
static void initStateLookResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace StateLook {

QStringList texts()
{
    const QString indent = QStringLiteral("    ");
    return {indent + QCoreApplication::translate("StateLook", "中断"),
            indent + QCoreApplication::translate("StateLook", "运行"),
            indent + QCoreApplication::translate("StateLook", "报警"),
            indent + QCoreApplication::translate("StateLook", "空闲"),
            indent + QCoreApplication::translate("StateLook", "连接中")};
}

QStringList styles()
{
    initStateLookResources();
    struct Look
    {
        const char *image;
        const char *colour;
    };
    const Look looks[] = {
        {":/image/cncGrey.png", "rgb(188, 188, 188)"},
        {":/image/cncRun.png", "rgb(48, 255, 58)"},
        {":/image/cncAlm.png", "red"},
        {":/image/cncFree.png", "yellow"},
        {":/image/cnc.png", "rgb(38, 237, 255)"},
    };
    const QString style = QStringLiteral("image:url(%1);image-position:left;color:%2;font:700 10pt "
                                         "微软雅黑;padding-top:10px;padding-bottom:15px;");
    QStringList list;
    for (const Look &look : looks)
        list.append(style.arg(QString::fromLatin1(look.image), QString::fromLatin1(look.colour)));
    return list;
}

} // namespace StateLook
