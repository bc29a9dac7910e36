#include "client/ptyclienttransport.h"

#include <QFile>
#include <QFileInfo>

namespace {

// How often a device that nobody has open is looked at: a client's start-up is seen at once
// for a person, and the look costs one system call.
constexpr int kClientWatchMs = 200;

} // namespace

PtyClientTransport::PtyClientTransport(const QString &linkPath, QObject *parent)
    : ClientTransport(parent), linkPath_(linkPath), lock_(linkPath + QStringLiteral(".lock")) {
    // A lock is stale only when its Varnel is not running, however old it is.
    lock_.setStaleLockTime(0);
    clientWatch_.setInterval(kClientWatchMs);
    connect(&clientWatch_, &QTimer::timeout, this, &PtyClientTransport::lookForClient);
    connect(&master_, &PtyMaster::slaveClosed, this, &PtyClientTransport::clientGone);
}

PtyClientTransport::~PtyClientTransport() {
    close();
}

bool PtyClientTransport::claimLink(QString &why) {
    // A lock file that is there already was left by a Varnel, running or not.
    const bool leftBehind = QFileInfo::exists(lock_.fileName());
    if (!lock_.tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        why =
            lock_.error() == QLockFile::LockFailedError && lock_.getLockInfo(&pid, &host, &program)
                ? QStringLiteral("in use by %1 (process %2)").arg(program).arg(pid)
                : QStringLiteral("cannot make the lock file %1").arg(lock_.fileName());
        return false;
    }
    const QFileInfo link(linkPath_);
    if (!link.exists() && !link.isSymLink()) {
        return true;
    }
    if (leftBehind && link.isSymLink() && link.symLinkTarget().startsWith(u"/dev/pts/") &&
        QFile::remove(linkPath_)) {
        return true;
    }
    why = QStringLiteral("exists and is not a link that Varnel left");
    lock_.unlock();
    return false;
}

bool PtyClientTransport::open(quint16) {
    QString why;
    if (claimLink(why)) {
        if (!master_.create()) {
            why = master_.errorString();
        } else if (!QFile::link(QString::fromLocal8Bit(master_.slaveName()), linkPath_)) {
            why = QStringLiteral("cannot make the link");
            master_.close();
        }
        if (!master_.isOpen()) {
            lock_.unlock();
        }
    }
    if (!master_.isOpen()) {
        setErrorString(
            QStringLiteral("cannot make the pseudo-terminal %1: %2").arg(linkPath_, why));
        return false;
    }
    clientWatch_.start();
    return true;
}

void PtyClientTransport::lookForClient() {
    if (master_.slaveOpen()) {
        clientWatch_.stop();
        announceClient();
    }
}

bool PtyClientTransport::accept() {
    if (!attachAnnouncedClient(&master_)) {
        return false;
    }
    master_.startReading(kMaxArrivalBytes);
    return true;
}

bool PtyClientTransport::awaitNext() {
    detachClient();
    master_.stopReading();
    master_.discardOutput();
    if (master_.isOpen()) {
        clientWatch_.start();
    }
    return true;
}

void PtyClientTransport::dropClient() {
    master_.discardOutput();
    clientGone();
}

void PtyClientTransport::close() {
    detachClient();
    clientWatch_.stop();
    if (!master_.isOpen()) {
        return;
    }
    // Only the link to this pseudo-terminal goes: the operator may have put another there.
    if (QFileInfo(linkPath_).symLinkTarget() == QString::fromLocal8Bit(master_.slaveName())) {
        QFile::remove(linkPath_);
    }
    master_.close();
    lock_.unlock();
}

QByteArray PtyClientTransport::description() const {
    if (!master_.isOpen()) {
        return "pseudo-terminal " + linkPath_.toUtf8() + ", not open";
    }
    const QByteArray device =
        "pseudo-terminal " + linkPath_.toUtf8() + " (" + master_.slaveName() + ")";
    return client() ? device : device + ", no client";
}
