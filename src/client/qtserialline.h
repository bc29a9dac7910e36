// A serial line through Qt's serial port module.
#pragma once

#include "client/serialline.h"

#include <QSerialPort>

class QtSerialLine : public SerialLine {
    Q_OBJECT
public:
    QtSerialLine(const QString &name, const SerialSettings &settings);

    bool open() override;
    QString errorString() const override { return port_.errorString(); }
    std::optional<bool> dataSetReady() override;
    void discardOutput() override { port_.clear(QSerialPort::Output); }
    void close() override;

private:
    void portError(QSerialPort::SerialPortError error);

    QSerialPort port_;
};
