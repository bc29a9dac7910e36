// Windows has no SIGINT or SIGTERM for a console program: Ctrl+C, Ctrl+Break, closing the
// console window, logging off and shutting down arrive as console control events instead, each
// on a thread of their own that the system starts. That thread only posts the request to the
// event loop, so the shutdown runs where the window's close would run it.
#include "app/terminationsignals.h"

#include <QCoreApplication>

#include <atomic>

#include <windows.h>

namespace {

std::atomic<TerminationSignals *> receiver = nullptr;
// Set once the program is through with its shutdown (the object is destroyed on the way out).
HANDLE shutdownDone = nullptr;

// Longer than the program's own grace for taking its links down; Windows ends the process
// after about 5 s of a close event anyway.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI onControlEvent(DWORD event) {
    TerminationSignals *target = receiver;
    if (!target) {
        return FALSE;
    }
    // Through the event queue, the thread-safe way into the Qt thread; dropped if the target is
    // gone by then.
    QMetaObject::invokeMethod(
        target, [target, event] { emit target->terminationRequested(int(event)); },
        Qt::QueuedConnection);
    // After a close, log-off or shutdown event Windows ends the process as soon as this returns,
    // so wait here for the shutdown to take the links down and say goodbye to the engine.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(shutdownDone, kCloseWaitMs);
    }
    return TRUE;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent) {
    receiver = this;
    shutdownDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

TerminationSignals::~TerminationSignals() {
    // From now on Ctrl+C ends the program at once, as the default does. The event stays open:
    // a waiting close event may still be looking at it.
    SetConsoleCtrlHandler(onControlEvent, FALSE);
    receiver = nullptr;
    SetEvent(shutdownDone);
}
