// The status strip under the main window's boxes: the engine, the client, the links, the data
// waiting and what keeps the station from working, each a caption and its value.
#pragma once

#include "bridge/stationstatus.h"

#include <QFrame>
#include <QLabel>

class StatusStrip : public QFrame {
    Q_OBJECT
public:
    explicit StatusStrip(QWidget *parent = nullptr);

    void showStatus(const StationStatus &status);

private:
    QLabel *engine_;
    QLabel *client_;
    QLabel *links_; // a line per link
    QLabel *data_;
    QLabel *problem_;
};
