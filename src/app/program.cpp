#include "app/program.h"

#include "app/consolefrontend.h"
#include "app/mainwindow.h"
#include "app/terminationsignals.h"
#include "bridge/bridge.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

namespace {

// A switched-off engine control takes its links down before it closes; past this, quit anyway.
constexpr int kShutdownGraceMs = 4000;
constexpr int kFatalErrorStatus = 1;

BridgeOptions bridgeOptions(const ProgramOptions &options) {
    BridgeOptions bridge;
    bridge.commandLine = options.commandLine;
    bridge.listenAddress = options.listenAddress;
    bridge.engineHost = options.engineHost;
    bridge.startInHostMode = options.hostMode;
    return bridge;
}

// The one way the program ends.
class ProgramEnd : public QObject {
public:
    ProgramEnd(Bridge &bridge, PacketEngine &engine) : bridge_(bridge) {
        connect(&engine, &PacketEngine::closed, this, [this] {
            engineClosed_ = true;
            exitIfDone();
        });
    }

    // The bridge's shutdown, the first time it is asked for: a second one would cut the first
    // one's disconnects short.
    void unload() {
        if (!unloaded_) {
            unloaded_ = true;
            bridge_.Form_Unload();
        }
    }

    // Shuts down, then ends the event loop with status once the engine connection is closed.
    // The first status asked for is the one the program ends with.
    void finish(int status) {
        unload();
        if (finishing_) {
            return;
        }
        finishing_ = true;
        status_ = status;
        QTimer::singleShot(kShutdownGraceMs, this, [this] { QCoreApplication::exit(status_); });
        exitIfDone();
    }

private:
    void exitIfDone() {
        if (finishing_ && engineClosed_) {
            QCoreApplication::exit(status_);
        }
    }

    Bridge &bridge_;
    bool unloaded_ = false;
    bool finishing_ = false;
    bool engineClosed_ = false;
    int status_ = 0;
};

} // namespace

int runHeadless(const ProgramOptions &options, PacketEngine &engine) {
    ConsoleFrontEnd console;
    Bridge bridge(console, engine, bridgeOptions(options));
    ProgramEnd end(bridge, engine);
    // Queued: a fatal error can come while start-up runs, before the event loop does.
    QObject::connect(
        &console, &ConsoleFrontEnd::failed, &end, [&end] { end.finish(kFatalErrorStatus); },
        Qt::QueuedConnection);
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &end,
                     [&end] { end.finish(0); });
    bridge.Form_Load();
    return QCoreApplication::exec();
}

int runWindow(const ProgramOptions &options, PacketEngine &engine) {
    // Every window shows Varnel's icon; Wayland shells take it from the desktop entry.
    QApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("varnel"));
    // The window outlives the bridge: late engine events after closing still log into it.
    MainWindow window;
    Bridge bridge(window, engine, bridgeOptions(options));
    ProgramEnd end(bridge, engine);
    // The Help window may outlive the main window; the program ends with the last window and
    // once the engine connection is closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &MainWindow::unloading, &end, [&end] { end.unload(); });
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &end, [&end] { end.finish(0); });
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &end, [&end] {
        // Help and About go too: a service manager's signal must not wait for a person.
        QApplication::closeAllWindows();
        end.finish(0);
    });
    bridge.Form_Load();
    window.show();
    return QApplication::exec();
}
