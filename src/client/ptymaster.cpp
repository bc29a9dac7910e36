#include "client/ptymaster.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

PtyMaster::PtyMaster(QObject *parent) : QIODevice(parent) {}

PtyMaster::~PtyMaster() {
    close();
}

bool PtyMaster::create() {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setErrorString(systemError());
        return false;
    }
    const char *slave = nullptr;
    termios settings{};
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || (slave = ptsname(fd)) == nullptr ||
        tcgetattr(fd, &settings) != 0) {
        setErrorString(systemError());
        ::close(fd);
        return false;
    }
    // Bytes as they are, as on a KAM's serial line: no echo, no line editing, no CR to LF.
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    slaveName_ = slave;
    // Open to whoever may use serial ports, as a serial port is: a client program often runs
    // as a user of its own (in group dialout), not as Varnel's.
    if (const group *dialout = getgrnam("dialout")) {
        if (chown(slave, uid_t(-1), dialout->gr_gid) == 0) {
            chmod(slave, S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP);
        }
    }
    // A slave side opened once and closed reports its hangup on the master until the next
    // program opens it; one never opened does not.
    if (const int once = ::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC); once >= 0) {
        ::close(once);
    }
    fd_ = fd;
    readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    readable_->setEnabled(false);
    connect(readable_.get(), &QSocketNotifier::activated, this, &PtyMaster::readFromSlave);
    writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writable_->setEnabled(false);
    connect(writable_.get(), &QSocketNotifier::activated, this, &PtyMaster::writeToSlave);
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    return true;
}

void PtyMaster::close() {
    if (fd_ < 0) {
        return;
    }
    readable_.reset();
    writable_.reset();
    // What the slave side can take at once still goes: the last replies before a shutdown.
    if (!unsent_.isEmpty()) {
        (void)::write(fd_, unsent_.constData(), size_t(unsent_.size()));
    }
    ::close(fd_);
    fd_ = -1;
    slaveName_.clear();
    received_.clear();
    unsent_.clear();
    reading_ = false;
    QIODevice::close();
}

bool PtyMaster::slaveOpen() const {
    pollfd watched{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&watched, 1, 0) < 0) {
        return false;
    }
    return !(watched.revents & POLLHUP) || (watched.revents & POLLIN);
}

void PtyMaster::startReading(qint64 limit) {
    readLimit_ = limit;
    reading_ = true;
    readable_->setEnabled(qint64(received_.size()) < readLimit_);
}

void PtyMaster::stopReading() {
    reading_ = false;
    if (readable_) {
        readable_->setEnabled(false);
    }
    received_.clear();
}

void PtyMaster::discardOutput() {
    unsent_.clear();
    if (writable_) {
        writable_->setEnabled(false);
    }
}

qint64 PtyMaster::bytesAvailable() const {
    return received_.size() + QIODevice::bytesAvailable();
}

qint64 PtyMaster::bytesToWrite() const {
    return unsent_.size();
}

void PtyMaster::readFromSlave() {
    const qint64 before = received_.size();
    bool closed = false;
    while (qint64(received_.size()) < readLimit_) {
        char chunk[4096];
        const qint64 room = std::min<qint64>(sizeof chunk, readLimit_ - received_.size());
        const ssize_t count = ::read(fd_, chunk, size_t(room));
        if (count > 0) {
            received_.append(chunk, count);
            continue;
        }
        // EIO: the slave side is closed and every byte it sent has been read.
        closed = count == 0 || errno == EIO;
        break;
    }
    // A full buffer stops reading until the bytes are taken; a closed slave side, until the
    // next program opens it.
    readable_->setEnabled(!closed && qint64(received_.size()) < readLimit_);
    if (qint64(received_.size()) > before) {
        emit readyRead();
    }
    if (closed && reading_) {
        reading_ = false;
        emit slaveClosed();
    }
}

qint64 PtyMaster::readData(char *data, qint64 maxSize) {
    const qint64 count = std::min<qint64>(maxSize, received_.size());
    std::memcpy(data, received_.constData(), size_t(count));
    received_.remove(0, count);
    if (reading_ && readable_ && count > 0) {
        readable_->setEnabled(true);
    }
    return count;
}

qint64 PtyMaster::writeData(const char *data, qint64 size) {
    if (fd_ < 0) {
        return -1;
    }
    unsent_.append(data, size);
    writable_->setEnabled(true);
    return size;
}

void PtyMaster::writeToSlave() {
    const ssize_t count = ::write(fd_, unsent_.constData(), size_t(unsent_.size()));
    if (count > 0) {
        unsent_.remove(0, count);
        emit bytesWritten(count);
    } else if (errno != EAGAIN && errno != EINTR) {
        // Nobody can take them: the slave side is gone with its reader.
        unsent_.clear();
    }
    if (writable_) {
        writable_->setEnabled(!unsent_.isEmpty());
    }
}
