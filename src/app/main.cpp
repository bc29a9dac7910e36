// Varnel's entry: the program's own options, then the bridge with its window, or headless
// with its log on standard output.
#include "app/bridge.h"
#include "app/consolefrontend.h"
#include "app/mainwindow.h"
#include "app/options.h"
#include "app/terminationsignals.h"
#include "app/version.h"
#include "engine/agwcontrol.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

// A switched-off engine control takes its links down before it closes; past this, quit anyway.
constexpr int kShutdownGraceMs = 4000;

void print(FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, bytes.size(), stream);
}

BridgeOptions bridgeOptions(const ProgramOptions &options) {
    BridgeOptions bridge;
    bridge.commandLine = options.commandLine;
    bridge.listenAddress = options.listenAddress;
    bridge.engineHost = options.engineHost;
    return bridge;
}

// Ends the event loop once the bridge is shut down and the engine connection is closed.
class Ending : public QObject {
public:
    explicit Ending(PacketEngine &engine) {
        connect(&engine, &PacketEngine::closed, this, [this] {
            engineClosed_ = true;
            quitIfDone();
        });
    }
    // The bridge has shut down; the last window is gone (headless: there is none).
    void shutDown() {
        shutDown_ = true;
        QTimer::singleShot(kShutdownGraceMs, this, [] { QCoreApplication::exit(0); });
        quitIfDone();
    }

private:
    void quitIfDone() {
        if (shutDown_ && engineClosed_) {
            QCoreApplication::exit(0);
        }
    }
    bool shutDown_ = false;
    bool engineClosed_ = false;
};

int runHeadless(const ProgramOptions &options) {
    ConsoleFrontEnd console;
    AgwControl engine;
    Bridge bridge(console, engine, bridgeOptions(options));
    Ending ending(engine);
    TerminationSignals terminations;
    bool unloaded = false;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &bridge, [&] {
        if (!unloaded) {
            unloaded = true;
            bridge.Form_Unload();
            ending.shutDown();
        }
    });
    bridge.Form_Load();
    return QCoreApplication::exec();
}

int runWindow(const ProgramOptions &options) {
    // The window outlives the bridge: late engine events after closing still log into it.
    MainWindow window;
    AgwControl engine;
    Bridge bridge(window, engine, bridgeOptions(options));
    Ending ending(engine);
    // The Help window may outlive the main window; the program ends with the last window and
    // once the engine connection is closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &MainWindow::unloading, &bridge, &Bridge::Form_Unload);
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &ending, &Ending::shutDown);
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &window,
                     &QWidget::close);
    bridge.Form_Load();
    window.show();
    return QApplication::exec();
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
        return runHeadless(options);
    }
    QApplication app(argc, argv);
    // Every window shows Varnel's icon; Wayland shells take it from the desktop entry.
    QApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("varnel"));
    // Qt takes its own arguments (-platform, -style, ...) out; the fields are what is left.
    options = parseProgramOptions(QCoreApplication::arguments().mid(1));
    return runWindow(options);
}
