// A plain TCP relay on loopback, the yardstick for Varnel end to end: it takes each client on
// LISTENPORT, connects it to TARGETPORT and copies bytes both ways as they come, on the same
// Qt event loop as Varnel, and does nothing else.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: varnel_tcprelay LISTENPORT TARGETPORT\n");
        return 2;
    }
    const quint16 targetPort = arguments[2].toUShort();
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, arguments[1].toUShort())) {
        std::fprintf(stderr, "varnel_tcprelay: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection()) {
            // Writes before the target has answered wait in the socket's buffer.
            auto *target = new QTcpSocket(client);
            target->connectToHost(QHostAddress::LocalHost, targetPort);
            QObject::connect(client, &QTcpSocket::readyRead,
                             [client, target] { target->write(client->readAll()); });
            QObject::connect(target, &QTcpSocket::readyRead,
                             [client, target] { client->write(target->readAll()); });
            QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return app.exec();
}
