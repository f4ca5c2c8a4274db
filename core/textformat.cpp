#include "textformat.h"

#include <QDir>

#include <cmath>

namespace ks {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

double seconds(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

QString wrappingToolTip(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped());
}

} // namespace ks
