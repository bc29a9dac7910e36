// What Linux tells about a running process: its resident memory and the CPU time it has used.
// Read from /proc, so that a test or benchmark can watch a varnel process from outside.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace procstats {

// AddressSanitizer keeps freed memory in quarantine, so resident memory measures nothing of
// the program there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentMemoryIsMeaningful = false;
#else
constexpr bool kResidentMemoryIsMeaningful = true;
#endif
#else
constexpr bool kResidentMemoryIsMeaningful = true;
#endif

// A "Name:   value kB" line of /proc/<pid>/status, in KiB; -1 when it cannot be read.
inline qint64 statusKiB(qint64 pid, QByteArrayView name) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name) && line.size() > name.size() && line[name.size()] == ':') {
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

// Resident memory now.
inline qint64 residentKiB(qint64 pid) {
    return statusKiB(pid, "VmRSS");
}

// The most resident memory the process ever had.
inline qint64 peakResidentKiB(qint64 pid) {
    return statusKiB(pid, "VmHWM");
}

// CPU time used by all the process's threads, in nanoseconds, from the scheduler's own
// accounting (finer than the clock ticks of /proc/<pid>/stat); -1 when it cannot be read.
inline qint64 cpuNanoseconds(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty()) {
        return -1;
    }
    qint64 total = 0;
    for (const QString &thread : threads) {
        QFile schedstat(tasks.filePath(thread + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly)) {
            return -1;
        }
        total += schedstat.readAll().split(' ').first().toLongLong();
    }
    return total;
}

} // namespace procstats
