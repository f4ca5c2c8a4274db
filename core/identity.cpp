#include "identity.h"

#include "version.h"

#include <QCoreApplication>

namespace ks {

void applyIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orrinworks"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orrinworks.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrova"));
    QCoreApplication::setApplicationVersion(QLatin1String(KESTROVA_VERSION));
}

} // namespace ks
