#pragma once

#include <QString>

// The English texts: a translator installed over the Chinese sources when the
// language setting is 1; any other value keeps Chinese, with Qt's own texts
// in Chinese too when Qt's translation is installed. Views take their
// texts when they are built, so this runs before the first window is made;
// calling it again replaces or removes the translator.
namespace Translations {

bool install(int language);

// One text in the given language, whatever is installed: the Chinese source,
// or (language 1) its English. For what is served to others in their language.
QString text(const char *context, const char *source, int language);

} // namespace Translations
