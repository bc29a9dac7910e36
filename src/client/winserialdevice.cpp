#include "client/winserialdevice.h"

#include "client/clienttransport.h"

#include <algorithm>
#include <utility>

WinSerialDevice::WinSerialDevice() {
    // Manual-reset events: each completion is taken once, the event reset before it is looked at.
    readOperation_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeOperation_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    readNotifier_.setHandle(readOperation_.hEvent);
    writeNotifier_.setHandle(writeOperation_.hEvent);
    readNotifier_.setEnabled(true);
    writeNotifier_.setEnabled(true);
    connect(&readNotifier_, &QWinEventNotifier::activated, this, &WinSerialDevice::readDone);
    connect(&writeNotifier_, &QWinEventNotifier::activated, this, &WinSerialDevice::writeDone);
}

WinSerialDevice::~WinSerialDevice() {
    close();
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    CloseHandle(readOperation_.hEvent);
    CloseHandle(writeOperation_.hEvent);
}

void WinSerialDevice::start(HANDLE port) {
    port_ = port;
    failed_ = false;
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    startRead();
}

void WinSerialDevice::startRead() {
    const auto room =
        DWORD(std::min<qint64>(readChunk_.size(), kMaxArrivalBytes - received_.size()));
    if (reading_ || failed_ || port_ == INVALID_HANDLE_VALUE || room == 0) {
        return;
    }
    if (!ReadFile(port_, readChunk_.data(), room, nullptr, &readOperation_) &&
        GetLastError() != ERROR_IO_PENDING) {
        fail(GetLastError());
        return;
    }
    // Done at once or not, the completion comes through the event.
    reading_ = true;
}

void WinSerialDevice::readDone() {
    ResetEvent(readOperation_.hEvent);
    if (!reading_) {
        return;
    }
    DWORD count = 0;
    if (!GetOverlappedResult(port_, &readOperation_, &count, FALSE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_INCOMPLETE) { // else a notice left from a read cancelled earlier
            reading_ = false;
            fail(error);
        }
        return;
    }
    reading_ = false;
    // A read without a total timeout ends only with a byte: none means the device has ended,
    // and reading on would spin.
    if (count == 0) {
        fail(ERROR_HANDLE_EOF);
        return;
    }
    received_.append(readChunk_.data(), count);
    startRead();
    emit readyRead();
}

qint64 WinSerialDevice::bytesAvailable() const {
    return received_.size() + QIODevice::bytesAvailable();
}

qint64 WinSerialDevice::readData(char *data, qint64 maxSize) {
    const qint64 count = std::min<qint64>(maxSize, received_.size());
    std::copy_n(received_.constData(), count, data);
    received_.remove(0, count);
    startRead();
    return count;
}

qint64 WinSerialDevice::bytesToWrite() const {
    return writing_.size() + queued_.size();
}

qint64 WinSerialDevice::writeData(const char *data, qint64 size) {
    if (port_ == INVALID_HANDLE_VALUE || failed_) {
        return -1;
    }
    queued_.append(data, size);
    startWrite();
    return size;
}

void WinSerialDevice::startWrite() {
    if (writingNow_ || failed_ || queued_.isEmpty()) {
        return;
    }
    writing_ = std::exchange(queued_, QByteArray());
    if (!WriteFile(port_, writing_.constData(), DWORD(writing_.size()), nullptr,
                   &writeOperation_) &&
        GetLastError() != ERROR_IO_PENDING) {
        fail(GetLastError());
        return;
    }
    writingNow_ = true;
}

void WinSerialDevice::writeDone() {
    ResetEvent(writeOperation_.hEvent);
    if (!writingNow_) {
        return;
    }
    DWORD count = 0;
    if (!GetOverlappedResult(port_, &writeOperation_, &count, FALSE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_INCOMPLETE) {
            writingNow_ = false;
            fail(error);
        }
        return;
    }
    writingNow_ = false;
    // A write cut short goes on with its rest, ahead of what was queued meanwhile.
    if (count < DWORD(writing_.size())) {
        queued_.prepend(writing_.sliced(count));
    }
    writing_.clear();
    startWrite();
    if (count > 0) {
        emit bytesWritten(count);
    }
}

bool WinSerialDevice::waitForBytesWritten(int msecs) {
    if (!writingNow_ || WaitForSingleObject(writeOperation_.hEvent,
                                            msecs < 0 ? INFINITE : DWORD(msecs)) != WAIT_OBJECT_0) {
        return false;
    }
    writeDone();
    return true;
}

void WinSerialDevice::discardOutput() {
    if (port_ != INVALID_HANDLE_VALUE) {
        PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    cancel(writeOperation_, writingNow_);
    writing_.clear();
    queued_.clear();
}

void WinSerialDevice::cancel(OVERLAPPED &operation, bool &outstanding) {
    if (!outstanding) {
        return;
    }
    CancelIoEx(port_, &operation);
    DWORD count = 0;
    GetOverlappedResult(port_, &operation, &count, TRUE);
    ResetEvent(operation.hEvent);
    outstanding = false;
}

void WinSerialDevice::close() {
    if (port_ != INVALID_HANDLE_VALUE) {
        cancel(readOperation_, reading_);
        discardOutput();
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
    }
    received_.clear();
    QIODevice::close();
}

void WinSerialDevice::fail(DWORD error) {
    failed_ = true;
    // From the event loop: the failure may come from within a read or write of the device,
    // and the receiver closes it.
    QMetaObject::invokeMethod(
        this,
        [this, why = qt_error_string(int(error)).toUtf8()] {
            if (failed_ && isOpen()) {
                emit failed(why);
            }
        },
        Qt::QueuedConnection);
}
