#include "client/qtserialline.h"

#include "client/clienttransport.h"

namespace {

QSerialPort::Parity parity(char letter) {
    switch (letter) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::FlowControl flowControl(SerialSettings::Flow flow) {
    switch (flow) {
    case SerialSettings::Flow::RtsCts:
        return QSerialPort::HardwareControl;
    case SerialSettings::Flow::XonXoff:
        return QSerialPort::SoftwareControl;
    case SerialSettings::Flow::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

} // namespace

std::unique_ptr<SerialLine> SerialLine::create(const QString &name,
                                               const SerialSettings &settings) {
    return std::make_unique<QtSerialLine>(name, settings);
}

QtSerialLine::QtSerialLine(const QString &name, const SerialSettings &settings)
    : SerialLine(name, port_) {
    port_.setPortName(name);
    port_.setBaudRate(settings.baud);
    port_.setDataBits(QSerialPort::DataBits(settings.dataBits));
    port_.setParity(parity(settings.parity));
    port_.setStopBits(QSerialPort::StopBits(settings.stopBits));
    port_.setFlowControl(flowControl(settings.flow));
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::portError);
}

bool QtSerialLine::open() {
    if (!port_.open(QIODevice::ReadWrite)) {
        return false;
    }
    port_.setReadBufferSize(kMaxArrivalBytes);
    return true;
}

std::optional<bool> QtSerialLine::dataSetReady() {
    // A line that cannot tell says so by an error, which is no fault of the line.
    const QSignalBlocker quiet(port_);
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    const bool known = port_.error() == QSerialPort::NoError;
    port_.clearError();
    if (!known) {
        return std::nullopt;
    }
    return bool(pins & QSerialPort::DataSetReadySignal);
}

void QtSerialLine::portError(QSerialPort::SerialPortError error) {
    // A port that fails to read or write has gone (unplugged, its other side closed), whatever
    // the driver calls it.
    if (!port_.isOpen() || (error != QSerialPort::ResourceError &&
                            error != QSerialPort::ReadError && error != QSerialPort::WriteError)) {
        return;
    }
    // Only a lost resource has a reason of its own; a read or write that failed for good
    // (a read of nothing where bytes were said to wait) leaves a stale one.
    emit lost(error == QSerialPort::ResourceError ? port_.errorString().toUtf8()
              : error == QSerialPort::ReadError   ? QByteArray("it cannot be read")
                                                  : "it cannot be written");
}

void QtSerialLine::close() {
    // Closing a device that is gone fails to restore its settings, an error of no interest.
    const QSignalBlocker quiet(port_);
    if (port_.isOpen()) {
        port_.flush();
        port_.close();
    }
}
