#include "clioptions.h"
#include "clirunner.h"
#include "folderscan.h"
#include "identity.h"
#include "recordtypes.h"
#include "signalwatcher.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The window's names, so that the window's settings store is the one read.
    ks::applyIdentity();
    ks::registerRecordTypes();

    // Qt cannot hold a name that is not valid UTF-8: it is shown with its bytes escaped, and skipped.
    QStringList arguments;
    QStringList namesNotUtf8;
    for (int i = 1; i < argc; ++i) {
        const QByteArray given(argv[i]);
        arguments << ks::FolderScan::escapedName(given);
        if (QString::fromUtf8(given).toUtf8() != given)
            namesNotUtf8 << arguments.last();
    }
    const ks::CliOptions options = ks::CliOptions::parse(arguments);
    if (options.help) {
        print(stdout, ks::CliOptions::helpText());
        return 0;
    }
    if (options.version) {
        print(stdout, ks::CliOptions::versionText());
        return 0;
    }
    if (!options.error.isEmpty()) {
        print(stderr,
                QStringLiteral("kestrova-cli: %1\nTry 'kestrova-cli --help' for more information.\n")
                        .arg(options.error));
        return ks::CliRunner::Refused;
    }

    ks::SignalWatcher signalWatcher;
    ks::CliRunner runner(options);
    runner.setNamesNotUtf8(namesNotUtf8);
    QObject::connect(&signalWatcher, &ks::SignalWatcher::caught, &runner, &ks::CliRunner::stop);
    QObject::connect(&runner, &ks::CliRunner::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &runner, &ks::CliRunner::start);
    return app.exec();
}
