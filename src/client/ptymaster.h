// The master side of a pseudo-terminal of its own, as a byte stream: what a program writes to
// the slave side (a device such as /dev/pts/3, which it takes for a serial port) is read here,
// and what is written here it reads. Linux only.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QSocketNotifier>

#include <memory>

class PtyMaster : public QIODevice {
    Q_OBJECT
public:
    explicit PtyMaster(QObject *parent = nullptr);
    ~PtyMaster() override;

    // Makes the pseudo-terminal, raw and for group dialout, and opens this device on it; false
    // with errorString().
    bool create();
    void close() override;
    // The slave side's device, "/dev/pts/3"; empty while none is made.
    QByteArray slaveName() const { return slaveName_; }

    // Whether a program has the slave side open (or closed it, leaving bytes to read).
    bool slaveOpen() const;
    // Reads the slave's bytes, at most limit waiting; slaveClosed() when it is closed.
    void startReading(qint64 limit);
    // Stops reading: a slave side that nobody has open makes the master readable for ever.
    void stopReading();
    // Forgets the bytes not yet taken by the slave side.
    void discardOutput();

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;

signals:
    // Every program closed the slave side; what it sent last has been read.
    void slaveClosed();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void readFromSlave();
    void writeToSlave();

    int fd_ = -1;
    QByteArray slaveName_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    QByteArray received_;
    QByteArray unsent_;
    qint64 readLimit_ = 0;
    bool reading_ = false;
};
