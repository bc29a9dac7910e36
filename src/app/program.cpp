#include "app/program.h"

#include "app/consolefrontend.h"
#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/terminationsignals.h"
#include "bridge/bridge.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

// A switched-off engine control takes its links down before it closes; past this, quit anyway.
constexpr int kShutdownGraceMs = 4000;
constexpr int kFatalErrorStatus = 1;

BridgeOptions bridgeOptions(const ProgramOptions &options) {
    BridgeOptions bridge;
    bridge.commandLine = options.commandLine;
    bridge.listenAddress = options.listenAddress;
    bridge.clientWire = options.clientWire;
    bridge.engineHost = options.engineHost;
    bridge.startInHostMode = options.hostMode;
    return bridge;
}

// Opens the log file asked for; false, with why in message, when it cannot be opened.
bool openLogFile(const ProgramOptions &options, LogFile &file, QString &message) {
    if (options.logFile.isEmpty() || file.open()) {
        return true;
    }
    message = QStringLiteral("cannot open the log file %1: %2")
                  .arg(QDir::toNativeSeparators(options.logFile), file.errorString());
    return false;
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
    LogFile logFile(options.logFile);
    QString logFileProblem;
    if (!openLogFile(options, logFile, logFileProblem)) {
        // Unattended, a log that is not kept is a reason not to start.
        const QByteArray out = "varnel: " + logFileProblem.toUtf8() + '\n';
        std::fwrite(out.constData(), 1, out.size(), stderr);
        return kFatalErrorStatus;
    }
    ConsoleFrontEnd console;
    LogFileFrontEnd frontEnd(console, logFile);
    Bridge bridge(frontEnd, engine, bridgeOptions(options));
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
    LogFile logFile(options.logFile);
    LogFileFrontEnd frontEnd(window, logFile);
    Bridge bridge(frontEnd, engine, bridgeOptions(options));
    // The window shows its log anyway: say so there, and carry on.
    if (QString problem; !openLogFile(options, logFile, problem)) {
        bridge.logLine("ERROR " + problem.toLatin1());
    }
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
