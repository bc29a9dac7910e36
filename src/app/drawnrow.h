// A row of captions and one-line boxes placed as the window was drawn, each control made as
// large as its font and style need to show its text whole. The drawing holds for the font it was
// made with; a platform whose font is larger, or whose style draws a box's frame wider, needs
// more room. A control that grows pushes the ones right of it along by as much, and every control
// of the row grows as much taller as the tallest needs, so captions stay level with the boxes.
// A box's line is placed by the font's line height, whatever the font engine says of the text.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QWidget;

struct DrawnControl {
    QWidget *control;
    QRect drawn;
    // A box: the widest text it is meant to hold. A caption shows its own text.
    QString widestText;
};

// Places the row; returns how much taller it came out than drawn.
int placeDrawnRow(const QList<DrawnControl> &row);
