#include "client/serialclienttransport.h"

namespace {

// How often a line that reports DSR is looked at: a client going or coming is seen at once
// for a person, and the look costs one system call.
constexpr int kDataSetReadyWatchMs = 500;
// How often a vanished device is looked for, as the engine connection is retried.
constexpr int kReopenMs = 2000;

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

SerialClientTransport::SerialClientTransport(const QString &portName,
                                             const SerialSettings &settings, QObject *parent)
    : ClientTransport(parent), settings_(settings) {
    port_.setPortName(portName);
    port_.setBaudRate(settings.baud);
    port_.setDataBits(QSerialPort::DataBits(settings.dataBits));
    port_.setParity(parity(settings.parity));
    port_.setStopBits(QSerialPort::StopBits(settings.stopBits));
    port_.setFlowControl(flowControl(settings.flow));
    dataSetReadyWatch_.setInterval(kDataSetReadyWatchMs);
    reopenTimer_.setInterval(kReopenMs);
    connect(&dataSetReadyWatch_, &QTimer::timeout, this, &SerialClientTransport::watchDataSetReady);
    connect(&reopenTimer_, &QTimer::timeout, this, &SerialClientTransport::reopen);
    connect(&port_, &QSerialPort::readyRead, this, &SerialClientTransport::portReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialClientTransport::portError);
}

SerialClientTransport::~SerialClientTransport() {
    close();
}

QByteArray SerialClientTransport::name() const {
    return port_.portName().toUtf8();
}

bool SerialClientTransport::open(quint16) {
    if (openPort()) {
        return true;
    }
    setErrorString(QStringLiteral("cannot open the serial port %1: %2")
                       .arg(port_.portName(), port_.errorString()));
    return false;
}

bool SerialClientTransport::openPort() {
    if (!port_.open(QIODevice::ReadWrite)) {
        return false;
    }
    port_.setReadBufferSize(kMaxArrivalBytes);
    clientWaiting_ = false;
    dataSetReady_ = false;
    // A line that cannot tell says so by an error, which is no fault of the line.
    const QSignalBlocker quiet(port_);
    port_.pinoutSignals();
    if (port_.error() == QSerialPort::NoError) {
        dataSetReadyWatch_.start();
        // From the event loop: the bridge is still opening the wire.
        QMetaObject::invokeMethod(this, &SerialClientTransport::watchDataSetReady,
                                  Qt::QueuedConnection);
    }
    port_.clearError();
    return true;
}

void SerialClientTransport::reopen() {
    if (openPort()) {
        reopenTimer_.stop();
        emit report("serial port " + name() + " open again");
    }
}

void SerialClientTransport::watchDataSetReady() {
    if (!port_.isOpen()) {
        return;
    }
    const bool ready = port_.pinoutSignals() & QSerialPort::DataSetReadySignal;
    if (ready == dataSetReady_) {
        return;
    }
    dataSetReady_ = ready;
    if (ready) {
        clientCame();
    } else if (client()) {
        clientGone();
    } else {
        clientWaiting_ = false;
    }
}

void SerialClientTransport::portReadyRead() {
    if (client()) {
        return; // the attached client's own readyRead takes it
    }
    clientCame();
    // The client accepted just now did not hear this readyRead.
    clientReadyRead();
}

void SerialClientTransport::clientCame() {
    if (!client() && !clientWaiting_) {
        clientWaiting_ = true;
        emit connectionRequest();
    }
}

bool SerialClientTransport::accept() {
    if (!clientWaiting_ || client()) {
        return false;
    }
    clientWaiting_ = false;
    attachClient(&port_);
    return true;
}

bool SerialClientTransport::awaitNext() {
    detachClient();
    clientWaiting_ = false;
    return true;
}

void SerialClientTransport::portError(QSerialPort::SerialPortError error) {
    // A port that fails to read or write has gone (unplugged, its other side closed), whatever
    // the driver calls it.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError) {
        return;
    }
    if (!port_.isOpen()) {
        return;
    }
    // Only a lost resource has a reason of its own; a read or write that failed for good
    // (a read of nothing where bytes were said to wait) leaves a stale one.
    const QByteArray why = error == QSerialPort::ResourceError ? port_.errorString().toUtf8()
                           : error == QSerialPort::ReadError   ? QByteArray("it cannot be read")
                                                               : "it cannot be written";
    emit report("ERROR serial port " + name() + " lost: " + why +
                "; opening it again once it is back");
    dataSetReadyWatch_.stop();
    if (client()) {
        clientGone();
    }
    detachClient();
    closePort();
    reopenTimer_.start();
}

void SerialClientTransport::closePort() {
    // Closing a device that is gone fails to restore its settings, an error of no interest.
    const QSignalBlocker quiet(port_);
    port_.close();
}

void SerialClientTransport::close() {
    detachClient();
    clientWaiting_ = false;
    dataSetReadyWatch_.stop();
    reopenTimer_.stop();
    if (port_.isOpen()) {
        // Replies already queued go out first, as far as the line takes them at once.
        port_.flush();
        closePort();
    }
}

void SerialClientTransport::dropClient() {
    port_.clear(QSerialPort::Output);
    clientGone();
}

QByteArray SerialClientTransport::description() const {
    const QByteArray line = "serial " + name() + ' ' + settings_.text();
    if (client()) {
        return line;
    }
    if (port_.isOpen()) {
        return line + ", no client";
    }
    return line + (reopenTimer_.isActive() ? ", NOT OPEN, trying again" : ", not open");
}

QByteArray SerialClientTransport::problem() const {
    return reopenTimer_.isActive() ? "the serial port " + name() + " is gone" : QByteArray();
}
