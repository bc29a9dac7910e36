// --log-file: every log line also goes to a file, with its date and time, for a station that
// runs unattended (a window left open overnight, a service on Windows, which has no journal to
// stamp the headless output). The file is opened once at start-up and appended to; each line
// is flushed as it is written, so that nothing is lost when the program is killed. Its size is
// bounded: past kMaxLogFileBytes it becomes PATH.1, replacing the older one, and a new one is
// begun.
#pragma once

#include "bridge/frontend.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// A busy station logs a few hundred lines a day; 10 MiB holds months of them, and the two files
// together stay small on the SD card of a single-board computer.
constexpr qint64 kMaxLogFileBytes = 10 * 1024 * 1024;

// A line of the file: the local date and time with its offset from UTC (ISO 8601), a blank,
// the line's text as UTF-8, LF.
QByteArray logFileLine(const QDateTime &when, const QByteArray &text);

class LogFile {
public:
    explicit LogFile(const QString &path, qint64 maxBytes = kMaxLogFileBytes);

    // Opens the file for appending; false, with errorString() saying why, when it cannot.
    bool open();
    QString errorString() const { return file_.errorString(); }

    // Writes one log line, its CR LF not included. Nothing happens while the file is not open.
    void write(const QByteArray &text, const QDateTime &when = QDateTime::currentDateTime());

private:
    void rotate();

    QFile file_;
    qint64 maxBytes_;
};

// A front end that passes everything on to the one shown and writes each log line to the file.
class LogFileFrontEnd : public FrontEnd {
public:
    LogFileFrontEnd(FrontEnd &shown, LogFile &file) : shown_(shown), file_(file) {}

    void setBoxText(Box box, const QByteArray &text) override { shown_.setBoxText(box, text); }
    void logAppended(const QByteArray &line) override;
    void logCut(const QByteArray &remainingText) override { shown_.logCut(remainingText); }
    void fatalError(const QByteArray &message) override { shown_.fatalError(message); }
    void showStatus(const StationStatus &status) override { shown_.showStatus(status); }

private:
    FrontEnd &shown_;
    LogFile &file_;
};
