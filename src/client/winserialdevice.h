// A Windows serial port's byte stream, for the event loop: the port is opened for overlapped
// I/O, one read and one write are outstanding at a time, and each completion signals an event
// that a QWinEventNotifier hands to the loop. Reading pauses while kMaxArrivalBytes wait to be
// read, so memory stays bounded and the line's own flow holds the client back.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QWinEventNotifier>

#include <qt_windows.h>

#include <array>

class WinSerialDevice : public QIODevice {
    Q_OBJECT
public:
    WinSerialDevice();
    ~WinSerialDevice() override;

    // Takes over a port handle opened for overlapped I/O and starts reading.
    void start(HANDLE port);
    HANDLE handle() const { return port_; }
    // Forgets what waits to be sent, also what is on its way to the port.
    void discardOutput();
    // Stops reading and writing at once and closes the port.
    void close() override;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    bool waitForBytesWritten(int msecs) override;

signals:
    // A read or write failed for good; why is the system's reason.
    void failed(const QByteArray &why);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void startRead();
    void readDone();
    void startWrite();
    void writeDone();
    // Ends an outstanding operation of ours: its completion then signals nothing more.
    void cancel(OVERLAPPED &operation, bool &outstanding);
    void fail(DWORD error);

    HANDLE port_ = INVALID_HANDLE_VALUE;
    OVERLAPPED readOperation_{};
    OVERLAPPED writeOperation_{};
    QWinEventNotifier readNotifier_;
    QWinEventNotifier writeNotifier_;
    bool reading_ = false;
    bool writingNow_ = false;
    bool failed_ = false;
    std::array<char, 4096> readChunk_{}; // the outstanding read's buffer
    QByteArray received_;
    QByteArray writing_; // the outstanding write's bytes, untouched until it completes
    QByteArray queued_;  // bytes behind it
};
