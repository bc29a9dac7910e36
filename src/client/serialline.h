// A serial port as the client's transport uses it: opened with the operator's settings, a byte
// stream while open, DSR where the line reports it, and a report when the device is lost. Each
// platform has its own: Qt's serial port module where the system has it, and Windows' own
// communications functions in the Windows build, whose Qt lacks that module.
#pragma once

#include "client/serialsettings.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class SerialLine : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<SerialLine> create(const QString &name, const SerialSettings &settings);

    const QString &name() const { return name_; }
    // Opens the device with the settings; false, with errorString(), when it cannot be.
    virtual bool open() = 0;
    virtual QString errorString() const = 0;
    // The line's byte stream; open while the line is, its read buffer bounded by open().
    QIODevice *device() const { return device_; }
    bool isOpen() const { return device_->isOpen(); }
    // Whether the other side holds DTR (seen here as DSR); nothing when the line cannot tell, as
    // many adapters and every virtual pair cannot.
    virtual std::optional<bool> dataSetReady() = 0;
    // Forgets what waits to be sent.
    virtual void discardOutput() = 0;
    // Sends what waits as far as the line takes it at once, then closes. Quietly: a device that
    // has gone cannot fail again.
    virtual void close() = 0;

signals:
    // The device failed for good (unplugged, its other side gone); why says how. What it read
    // can still be read until close().
    void lost(const QByteArray &why);

protected:
    // device is the subclass's own, not yet built: it is only kept here.
    SerialLine(const QString &name, QIODevice &device) : name_(name), device_(&device) {}

private:
    QString name_;
    QIODevice *device_;
};
