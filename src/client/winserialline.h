// A serial line through Windows' own communications functions: the port opened and set as the
// operator asked, DSR from the modem status, and the byte stream of a WinSerialDevice.
#pragma once

#include "client/serialline.h"
#include "client/winserialdevice.h"

class WinSerialLine : public SerialLine {
    Q_OBJECT
public:
    WinSerialLine(const QString &name, const SerialSettings &settings);

    bool open() override;
    QString errorString() const override { return errorString_; }
    std::optional<bool> dataSetReady() override;
    void discardOutput() override { device_.discardOutput(); }
    void close() override;

private:
    bool configure(HANDLE port);

    WinSerialDevice device_;
    SerialSettings settings_;
    QString errorString_;
};
