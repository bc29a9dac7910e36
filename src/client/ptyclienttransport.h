// The client on a pseudo-terminal that Varnel makes, for a client program that only opens
// serial devices (LinBPQ's COMPORT=): PATH becomes a symbolic link to its slave side, so the
// program finds the KAM there with nothing in between. A program that opens the device has
// come, one that closes it has gone; the next one is served the same way. The link goes at
// close. Linux only.
//
// The link is the operator's path, so nothing there is ever overwritten but Varnel's own stale
// link: a symbolic link to a pseudo-terminal beside a lock file (PATH.lock) that no running
// Varnel holds, as a Varnel that was killed leaves them.
#pragma once

#include "client/clienttransport.h"
#include "client/ptymaster.h"

#include <QLockFile>
#include <QTimer>

class PtyClientTransport : public ClientTransport {
    Q_OBJECT
public:
    explicit PtyClientTransport(const QString &linkPath, QObject *parent = nullptr);
    ~PtyClientTransport() override;

    bool listensOnPort() const override { return false; }
    bool open(quint16 port) override;
    bool accept() override;
    bool awaitNext() override;
    void close() override;
    QByteArray description() const override;

protected:
    bool serving() const override { return master_.isOpen(); }
    void dropClient() override;

private:
    // Takes PATH for this program; false, with why, when it is not free.
    bool claimLink(QString &why);
    void lookForClient();

    PtyMaster master_;
    QString linkPath_;
    QLockFile lock_;
    // Runs only while nobody has the device open: opening it makes no event on the master.
    QTimer clientWatch_;
};
