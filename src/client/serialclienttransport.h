// The client on a serial line, where a KAM sits: a real port (a null-modem cable to the
// client's PC) or one side of a virtual pair. The line stays open; a client counts as come
// when it sends or raises DTR, and as gone when it drops DTR, where the line reports DTR at
// all (as DSR on this side): many adapters and every virtual pair do not. A device that
// vanishes (a USB adapter pulled) is opened again once it is back.
#pragma once

#include "client/clienttransport.h"
#include "client/serialline.h"

#include <QTimer>

#include <memory>

class SerialClientTransport : public ClientTransport {
    Q_OBJECT
public:
    SerialClientTransport(const QString &portName, const SerialSettings &settings,
                          QObject *parent = nullptr);
    ~SerialClientTransport() override;

    bool listensOnPort() const override { return false; }
    bool open(quint16 port) override;
    bool accept() override;
    bool awaitNext() override;
    void close() override;
    QByteArray description() const override;
    QByteArray problem() const override;

protected:
    bool serving() const override { return line_->isOpen(); }
    void dropClient() override;

private:
    bool openPort();
    void reopen();
    void lineReadyRead();
    void lineLost(const QByteArray &why);
    void watchDataSetReady();
    QByteArray name() const;

    std::unique_ptr<SerialLine> line_;
    SerialSettings settings_;
    QTimer dataSetReadyWatch_; // while open, on a line that reports DSR
    QTimer reopenTimer_;       // only while the device is gone
    bool dataSetReady_ = false;
};
