// The main window: the event log, the own callsign, the radio port and the port filter, the
// status strip, and a menu bar with Help and About. A view on the bridge: it shows what the bridge
// reports through its front-end hooks and tells when it is being closed.
#pragma once

#include "app/helpwindow.h"
#include "app/loglinetimes.h"
#include "app/statusstrip.h"
#include "bridge/frontend.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

class MainWindow : public QMainWindow, public FrontEnd {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void setBoxText(Box box, const QByteArray &text) override;
    void logAppended(const QByteArray &line) override;
    void logCut(const QByteArray &remainingText) override;
    void fatalError(const QByteArray &message) override;
    void showStatus(const StationStatus &status) override;

    // Opens the one Help window, or brings it forward.
    void helpfile_Click();
    // Shows the About box and waits until it is closed.
    void about_Click();

signals:
    // The window is closing: the bridge shuts down.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLineEdit *box(Box which) const;
    void scheduleLogRefresh();
    // Brings the log box up to date with the lines logged since its last refresh.
    void refreshLog();

    QPlainTextEdit *viewOutput;
    // The log box is refreshed at a bounded rate, not on every line: a flood of lines must cost
    // the program little more than the lines themselves. Until then the lines wait here, as
    // text to append or, after a cut, as the box's whole text.
    QString unshownLog_;
    bool unshownReplacesLog_ = false;
    LogLineTimes logTimes_;
    QTimer logRefresh_;
    QLabel *staticmycall;
    QLineEdit *MyCallbox;
    QLabel *staticport;
    QLineEdit *AGWport;
    QLabel *AGWall;
    QLineEdit *anybox;
    StatusStrip *statusStrip_;
    // Independent of this window: it stays open when this one closes.
    QPointer<HelpWindow> help_;
};

// The About box's text: three lines joined by CR.
QByteArray aboutText();

// Varnel's icon in every size rendered for it; every window of the program shows it.
QIcon programIcon();
