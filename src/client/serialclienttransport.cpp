#include "client/serialclienttransport.h"

namespace {

// How often a line that reports DSR is looked at: a client going or coming is seen at once
// for a person, and the look costs one system call.
constexpr int kDataSetReadyWatchMs = 500;
// How often a vanished device is looked for, as the engine connection is retried.
constexpr int kReopenMs = 2000;

} // namespace

SerialClientTransport::SerialClientTransport(const QString &portName,
                                             const SerialSettings &settings, QObject *parent)
    : ClientTransport(parent), line_(SerialLine::create(portName, settings)), settings_(settings) {
    dataSetReadyWatch_.setInterval(kDataSetReadyWatchMs);
    reopenTimer_.setInterval(kReopenMs);
    connect(&dataSetReadyWatch_, &QTimer::timeout, this, &SerialClientTransport::watchDataSetReady);
    connect(&reopenTimer_, &QTimer::timeout, this, &SerialClientTransport::reopen);
    connect(line_->device(), &QIODevice::readyRead, this, &SerialClientTransport::lineReadyRead);
    connect(line_.get(), &SerialLine::lost, this, &SerialClientTransport::lineLost);
}

SerialClientTransport::~SerialClientTransport() {
    close();
}

QByteArray SerialClientTransport::name() const {
    return line_->name().toUtf8();
}

bool SerialClientTransport::open(quint16) {
    if (openPort()) {
        return true;
    }
    setErrorString(QStringLiteral("cannot open the serial port %1: %2")
                       .arg(line_->name(), line_->errorString()));
    return false;
}

bool SerialClientTransport::openPort() {
    if (!line_->open()) {
        return false;
    }
    dataSetReady_ = false;
    if (line_->dataSetReady().has_value()) {
        dataSetReadyWatch_.start();
        // From the event loop: the bridge is still opening the wire.
        QMetaObject::invokeMethod(this, &SerialClientTransport::watchDataSetReady,
                                  Qt::QueuedConnection);
    }
    return true;
}

void SerialClientTransport::reopen() {
    if (openPort()) {
        reopenTimer_.stop();
        emit report("serial port " + name() + " open again");
    }
}

void SerialClientTransport::watchDataSetReady() {
    if (!line_->isOpen()) {
        return;
    }
    const bool ready = line_->dataSetReady().value_or(false);
    if (ready == dataSetReady_) {
        return;
    }
    dataSetReady_ = ready;
    if (ready) {
        announceClient();
    } else if (client()) {
        clientGone();
    } else {
        detachClient(); // it left before it was taken
    }
}

void SerialClientTransport::lineReadyRead() {
    if (client()) {
        return; // the attached client's own readyRead takes it
    }
    announceClient();
    // The client accepted just now did not hear this readyRead.
    clientReadyRead();
}

bool SerialClientTransport::accept() {
    return attachAnnouncedClient(line_->device());
}

bool SerialClientTransport::awaitNext() {
    detachClient();
    return true;
}

void SerialClientTransport::lineLost(const QByteArray &why) {
    emit report("ERROR serial port " + name() + " lost: " + why +
                "; opening it again once it is back");
    dataSetReadyWatch_.stop();
    if (client()) {
        clientGone();
    }
    detachClient();
    line_->close();
    reopenTimer_.start();
}

void SerialClientTransport::close() {
    detachClient();
    dataSetReadyWatch_.stop();
    reopenTimer_.stop();
    // Replies already queued go out first, as far as the line takes them at once.
    line_->close();
}

void SerialClientTransport::dropClient() {
    line_->discardOutput();
    clientGone();
}

QByteArray SerialClientTransport::description() const {
    const QByteArray line = "serial " + name() + ' ' + settings_.text();
    if (client()) {
        return line;
    }
    if (line_->isOpen()) {
        return line + ", no client";
    }
    return line + (reopenTimer_.isActive() ? ", NOT OPEN, trying again" : ", not open");
}

QByteArray SerialClientTransport::problem() const {
    return reopenTimer_.isActive() ? "the serial port " + name() + " is gone" : QByteArray();
}
