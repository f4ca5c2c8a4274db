#pragma once

class QCoreApplication;
class QLocale;
class QString;

namespace ks {

// Installs the program's translation for the first of `locale`'s languages
// that has one, with Qt's own for the same language beside it, both owned by
// `app`. Returns the language chosen; empty when the program stays English.
QString installTranslations(QCoreApplication &app, const QLocale &locale);

} // namespace ks
