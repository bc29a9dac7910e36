// SIGINT and SIGTERM as a Qt signal on the event loop, so that a headless Varnel ends through
// the same shutdown path as closing the window. On Windows: Ctrl+C, Ctrl+Break and closing the
// console (terminationsignals_windows.cpp).
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
