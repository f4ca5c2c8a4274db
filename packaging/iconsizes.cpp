// Writes the smaller sizes of the application icon for the hicolor theme:
//   kestrova-iconsizes SOURCE.png DESTDIR NAME SIZE...
// gives DESTDIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE. Run by the build,
// so only the 256 px original is kept in the source tree.

#include <QDir>
#include <QImage>
#include <QStringList>

#include <cstdio>

namespace {

void fail(const QString &text)
{
    std::fprintf(stderr, "kestrova-iconsizes: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() < 4) {
        fail(QStringLiteral("usage: kestrova-iconsizes SOURCE.png DESTDIR NAME SIZE..."));
        return 2;
    }

    const QImage source(args.at(0));
    if (source.isNull()) {
        fail(QStringLiteral("cannot read %1").arg(args.at(0)));
        return 1;
    }
    // Premultiplied, so that the smoothing does not bleed the colour of
    // transparent pixels into the rounded edge.
    const QImage original = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QDir dest(args.at(1));
    const QString name = args.at(2);

    for (const QString &arg : args.mid(3)) {
        bool ok = false;
        const int size = arg.toInt(&ok);
        if (!ok || size <= 0 || size > original.width()) {
            fail(QStringLiteral("bad size %1").arg(arg));
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = dest.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        const QImage scaled = original.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!dest.mkpath(folder) || !scaled.save(path, "PNG")) {
            fail(QStringLiteral("cannot write %1").arg(path));
            return 1;
        }
    }
    return 0;
}
