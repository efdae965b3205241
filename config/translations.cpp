#include "config/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
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
    // Qt's own texts (the file dialog, the message boxes' buttons) in Chinese
    // too, from Debian's qttranslations5-l10n; without it they stay English.
    static QTranslator *const qtChinese = new QTranslator(QCoreApplication::instance());
    QCoreApplication::removeTranslator(english);
    QCoreApplication::removeTranslator(qtChinese);
    if (language != 1) {
        if (qtChinese->isEmpty())
            qtChinese->load(QStringLiteral("qtbase_zh_CN"),
                            QLibraryInfo::location(QLibraryInfo::TranslationsPath));
        if (!qtChinese->isEmpty())
            QCoreApplication::installTranslator(qtChinese);
        return true;
    }
    initTranslationResource();
    if (!english->load(QStringLiteral(":/translations/vexa_en.qm")))
        return false;
    return QCoreApplication::installTranslator(english);
}

QString text(const char *context, const char *source, int language)
{
    if (language != 1)
        return QString::fromUtf8(source);
    static QTranslator *const english = [] {
        initTranslationResource();
        auto *translator = new QTranslator(QCoreApplication::instance());
        translator->load(QStringLiteral(":/translations/vexa_en.qm"));
        return translator;
    }();
    const QString translated = english->translate(context, source);
    return translated.isEmpty() ? QString::fromUtf8(source) : translated;
}

} // namespace Translations
