#include "config/translations.h"

#include <QCoreApplication>
#include <QTranslator>

// The .qm lives in a resource bundle of the static library: without a
// reference from code the linker leaves it out of the program.
static void initTranslationResource()
{
    Q_INIT_RESOURCE(translations);
}

namespace Translations {

bool install(int language)
{
    // Lives as long as the application: an installed translator must not go
    // before the texts are all made.
    static QTranslator *const english = new QTranslator(QCoreApplication::instance());
    QCoreApplication::removeTranslator(english);
    if (language != 1)
        return true;
    initTranslationResource();
    if (!english->load(QStringLiteral(":/translations/vexa_en.qm")))
        return false;
    return QCoreApplication::installTranslator(english);
}

} // namespace Translations
