// main() for a test that runs the varnel program: its path comes as the first argument, the
// rest are QtTest's own.
#pragma once

#include <QCoreApplication>
#include <QTest>

template <typename Test, typename Application = QCoreApplication>
int runProgramTest(int argc, char **argv, QString &programPath) {
    Application app(argc, argv);
    if (argc < 2) {
        qCritical("usage: %s PATH_TO_VARNEL [QtTest options]", argv[0]);
        return 2;
    }
    programPath = QString::fromLocal8Bit(argv[1]);
    Test test;
    QStringList arguments = app.arguments();
    arguments.removeAt(1);
    return QTest::qExec(&test, arguments);
}
