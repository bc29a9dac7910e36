#include "app/logfile.h"

#include "app/consolefrontend.h"

#include <cstdlib>

namespace {

constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

// "+02:00", "-05:30", "+00:00": ISO 8601's offset, also when it is zero.
QByteArray utcOffsetText(int offsetSeconds) {
    const int size = std::abs(offsetSeconds);
    return (offsetSeconds < 0 ? "-" : "+") +
           QByteArray::number(size / kSecondsPerHour).rightJustified(2, '0') + ':' +
           QByteArray::number(size % kSecondsPerHour / kSecondsPerMinute).rightJustified(2, '0');
}

} // namespace

QByteArray logFileLine(const QDateTime &when, const QByteArray &text) {
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() +
           utcOffsetText(when.offsetFromUtc()) + ' ' + latin1ToUtf8(text) + '\n';
}

LogFile::LogFile(const QString &path, qint64 maxBytes) : file_(path), maxBytes_(maxBytes) {}

bool LogFile::open() {
    // Text mode: lines end as the platform's text files do, CR LF on Windows.
    return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void LogFile::write(const QByteArray &text, const QDateTime &when) {
    if (!file_.isOpen()) {
        return;
    }
    const QByteArray line = logFileLine(when, text);
    if (file_.size() > 0 && file_.size() + line.size() > maxBytes_) {
        rotate();
    }
    file_.write(line);
    file_.flush();
}

void LogFile::rotate() {
    const QString path = file_.fileName();
    const QString older = path + QStringLiteral(".1");
    // Windows renames no file that is open.
    file_.close();
    QFile::remove(older);
    if (QFile::rename(path, older)) {
        open();
        return;
    }
    // The bound matters more than the old lines: start the file afresh where it is.
    (void)file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
}

void LogFileFrontEnd::logAppended(const QByteArray &line) {
    shown_.logAppended(line);
    file_.write(line.endsWith("\r\n") ? line.chopped(2) : line);
}
