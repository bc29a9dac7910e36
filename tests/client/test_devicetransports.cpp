// The client on a pseudo-terminal (--pty) and on a serial line (--serial, a pseudo-terminal pair
// in place of the cable): clients coming, going and coming back, the link at PATH and what may
// stand there, a device pulled and put back, and the bounds of the shared transport on a wire
// that is not TCP.
#include "client/ptyclienttransport.h"
#include "client/serialclienttransport.h"

#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 5000;
// The serial transport looks for a vanished device every 2 s.
constexpr int kReopenTimeoutMs = 6000;

// One end of a pseudo-terminal, raw, closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// A client program opening the device, as LinBPQ opens its COMPORT.
int openDevice(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

QByteArray readFor(int fd, qsizetype count) {
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            char chunk[256];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                got.append(chunk, n);
            }
            return got.size() >= count;
        },
        kTimeoutMs);
    return got;
}

// Waits for a client to come, then takes it.
bool acceptClient(ClientTransport &transport) {
    QSignalSpy requests(&transport, &ClientTransport::connectionRequest);
    return (!requests.isEmpty() || requests.wait(kTimeoutMs)) && transport.accept();
}

// A pseudo-terminal pair for a serial line; the link path stands for the device's name.
struct SerialCable {
    Fd clientEnd;
    QString devicePath;
    bool plugIn(const QString &path) {
        int master = -1;
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            return false;
        }
        clientEnd.reset(master);
        const QString name = QString::fromLocal8Bit(ttyname(slave));
        ::close(slave);
        QFile::remove(path);
        devicePath = path;
        return QFile::link(name, path);
    }
};

} // namespace

class DeviceTransportsTest : public QObject {
    Q_OBJECT
private slots:
    void ptyServesClientAfterClient();
    void ptyPathInTheWay_data();
    void ptyPathInTheWay();
    void ptyClientThatStopsReadingIsDropped();
    void serialDevicePulledAndBack();

private:
    QTemporaryDir dir_;
};

void DeviceTransportsTest::ptyServesClientAfterClient() {
    const QString path = dir_.filePath(QStringLiteral("kam"));
    PtyClientTransport transport(path);
    QVERIFY2(transport.open(0), qPrintable(transport.errorString()));
    const QString slave = QFileInfo(path).symLinkTarget();
    QVERIFY(slave.startsWith(u"/dev/pts/"));
    // A client program of another user may open it, as a serial port: through group dialout.
    QCOMPARE(QFileInfo(slave).group(), QStringLiteral("dialout"));
    QVERIFY(QFileInfo(slave).permissions() & QFileDevice::WriteGroup);
    QCOMPARE(transport.state(), ClientTransport::State::Listening);
    QCOMPARE(transport.description(),
             "pseudo-terminal " + path.toUtf8() + " (" + slave.toUtf8() + "), no client");

    // A client program started twice: each run is served, each close is a client leaving.
    for (int run = 0; run < 2; ++run) {
        Fd device(openDevice(path));
        QVERIFY(device.get() >= 0);
        QVERIFY(acceptClient(transport));
        QCOMPARE(transport.state(), ClientTransport::State::Connected);

        // Held reading keeps the request until it is released.
        transport.setReadingHeld(true);
        QSignalSpy arrivals(&transport, &ClientTransport::dataArrival);
        QCOMPARE(::write(device.get(), "MYCALL\r", 7), 7);
        QVERIFY(!arrivals.wait(300));
        transport.setReadingHeld(false);
        QVERIFY(!arrivals.isEmpty() || arrivals.wait(kTimeoutMs));
        QCOMPARE(transport.readAll(), QByteArray("MYCALL\r"));

        transport.send("cmd:");
        QCOMPARE(readFor(device.get(), 4), QByteArray("cmd:"));

        QSignalSpy closes(&transport, &ClientTransport::peerClosed);
        device.reset();
        QVERIFY(closes.wait(kTimeoutMs));
        QVERIFY(transport.awaitNext());
        QCOMPARE(transport.state(), ClientTransport::State::Listening);
    }
    transport.close();
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(!QFile::exists(path + QStringLiteral(".lock")));
}

void DeviceTransportsTest::ptyPathInTheWay_data() {
    QTest::addColumn<QByteArray>("inTheWay"); // a file, a link not Varnel's, a stale link
    QTest::addColumn<bool>("opens");
    QTest::newRow("a file") << QByteArray("file") << false;
    QTest::newRow("a link to a terminal without a lock") << QByteArray("foreign link") << false;
    QTest::newRow("a link left by a killed Varnel") << QByteArray("stale link") << true;
}

void DeviceTransportsTest::ptyPathInTheWay() {
    QFETCH(QByteArray, inTheWay);
    QFETCH(bool, opens);
    const QString path = dir_.filePath(QString::fromLatin1(inTheWay).replace(u' ', u'-'));
    const QString lockPath = path + QStringLiteral(".lock");
    if (inTheWay == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the operator's own");
    } else {
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/999"), path));
    }
    if (inTheWay == "stale link") {
        // The lock of a Varnel that is no longer running: a process that has ended.
        QLockFile live(lockPath);
        QVERIFY(live.tryLock(0));
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray content = file.readAll();
        file.close();
        live.unlock();
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        content.replace(0, content.indexOf('\n'), QByteArray::number(endedPid));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
    }

    PtyClientTransport transport(path);
    QVERIFY2(transport.open(0) == opens, qPrintable(transport.errorString()));
    if (opens) {
        QVERIFY(QFileInfo(path).symLinkTarget() != QStringLiteral("/dev/pts/999"));
        transport.close();
    } else {
        QVERIFY(transport.errorString().startsWith("cannot make the pseudo-terminal " + path));
        QCOMPARE(transport.state(), ClientTransport::State::Closed);
        QVERIFY(QFileInfo(path).isSymLink() || QFileInfo(path).size() > 0);
        QVERIFY(!QFile::exists(lockPath));
    }
}

void DeviceTransportsTest::ptyClientThatStopsReadingIsDropped() {
    const QString path = dir_.filePath(QStringLiteral("deaf"));
    PtyClientTransport transport(path);
    QVERIFY(transport.open(0));
    Fd device(openDevice(path));
    QVERIFY(acceptClient(transport));
    QSignalSpy errors(&transport, &ClientTransport::error);
    QSignalSpy closes(&transport, &ClientTransport::peerClosed);
    const QByteArray chunk(64 * 1024, 'x');
    for (qint64 sent = 0; sent <= kMaxWaitingReplyBytes; sent += chunk.size()) {
        transport.send(chunk);
    }
    QCOMPARE(errors.size(), 1);
    QVERIFY(closes.wait(kTimeoutMs));
}

void DeviceTransportsTest::serialDevicePulledAndBack() {
    SerialCable cable;
    QVERIFY(cable.plugIn(dir_.filePath(QStringLiteral("ttyUSB0"))));
    SerialSettings settings;
    settings.baud = 38400;
    SerialClientTransport transport(cable.devicePath, settings);
    QVERIFY2(transport.open(0), qPrintable(transport.errorString()));
    const QByteArray line = "serial " + cable.devicePath.toUtf8() + " 38400 8N1";
    QCOMPARE(transport.description(), line + ", no client");

    // A pseudo-terminal reports no DTR: the client has come once it sends.
    QCOMPARE(::write(cable.clientEnd.get(), "\r", 1), 1);
    QVERIFY(acceptClient(transport));
    QCOMPARE(transport.description(), line);

    QSignalSpy reports(&transport, &ClientTransport::report);
    QSignalSpy closes(&transport, &ClientTransport::peerClosed);
    cable.clientEnd.reset(); // the adapter pulled: the device is gone
    QVERIFY(closes.wait(kTimeoutMs));
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports[0][0].toByteArray().startsWith("ERROR serial port " +
                                                   cable.devicePath.toUtf8() + " lost: "));
    QVERIFY(transport.awaitNext());
    QCOMPARE(transport.state(), ClientTransport::State::Closed);
    QCOMPARE(transport.description(), line + ", NOT OPEN, trying again");
    QCOMPARE(transport.problem(), "the serial port " + cable.devicePath.toUtf8() + " is gone");

    QVERIFY(cable.plugIn(cable.devicePath));
    QVERIFY(reports.wait(kReopenTimeoutMs));
    QCOMPARE(reports.last()[0].toByteArray(),
             "serial port " + cable.devicePath.toUtf8() + " open again");
    QCOMPARE(transport.state(), ClientTransport::State::Listening);
    QVERIFY(transport.problem().isEmpty());
    QCOMPARE(::write(cable.clientEnd.get(), "\r", 1), 1);
    QVERIFY(acceptClient(transport));
    transport.close();
}

QTEST_GUILESS_MAIN(DeviceTransportsTest)
#include "test_devicetransports.moc"
