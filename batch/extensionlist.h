#pragma once

#include <QStringList>

namespace ks {

// The file types a folder scan picks up, as a person types them in
// Preferences or after --extensions.
class ExtensionList final
{
public:
    // "*.MP3, .wav; flac" as well as "mp3 wav flac": parts apart by commas,
    // semicolons or white space, each without its leading stars and dots,
    // in lower case, each once. Empty when no part names a type.
    static QStringList parse(const QString &text);
};

} // namespace ks
