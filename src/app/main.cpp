// app/: the shell on top of the bridge (bridge/bridge.h): this entry, the program's options, the
// two ways to run (program.h), the headless console front end, the main window with Help and
// About, and the termination signals.
//
// Varnel's entry: the program's own options, then the bridge with its window, or headless
// with its log on standard output.
#include "app/options.h"
#include "app/program.h"
#include "app/version.h"
#include "engine/agwcontrol.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, bytes.size(), stream);
}

} // namespace

int main(int argc, char **argv) {
    // Errors, help and version need no display, so the options are read before any
    // application object exists.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    ProgramOptions options = parseProgramOptions(arguments);
    if (!options.error.isEmpty()) {
        print(stderr, QStringLiteral("varnel: %1\nTry 'varnel --help'.\n").arg(options.error));
        return 2;
    }
    if (options.help) {
        print(stdout, usageText());
        return 0;
    }
    if (options.version) {
        print(stdout, QString::fromLatin1(kProgramTitle) + u'\n');
        return 0;
    }
    if (options.headless) {
        QCoreApplication app(argc, argv);
        AgwControl engine;
        return runHeadless(options, engine);
    }
    QApplication app(argc, argv);
    // Qt takes its own arguments (-platform, -style, ...) out; the fields are what is left.
    options = parseProgramOptions(QCoreApplication::arguments().mid(1));
    AgwControl engine;
    return runWindow(options, engine);
}
