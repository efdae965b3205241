#include "devices/statelook.h"

#include "link/statetable.h"

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
    QStringList list;
    for (const char *text : StateTable::Texts)
        list.append(indent + QCoreApplication::translate("StateLook", text));
    return list;
}

QStringList styles()
{
    initStateLookResources();
    const char *const images[StateTable::Count] = {":/image/cncGrey.png", ":/image/cncRun.png",
                                                   ":/image/cncAlm.png", ":/image/cncFree.png",
                                                   ":/image/cnc.png"};
    const QString style = QStringLiteral("image:url(%1);image-position:left;color:%2;font:700 10pt "
                                         "微软雅黑;padding-top:10px;padding-bottom:15px;");
    QStringList list;
    for (int state = 0; state < StateTable::Count; ++state)
        list.append(
            style.arg(QString::fromLatin1(images[state]), QString::fromLatin1(StateTable::Colours[state])));
    return list;
}

} // namespace StateLook
