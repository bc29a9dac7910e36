// Callsigns and command-line fields lose their surrounding blanks, and only blanks: a tab or
// a CR is part of the text.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

inline QByteArray trimBlanks(QByteArrayView text) {
    while (text.startsWith(' ')) {
        text = text.sliced(1);
    }
    while (text.endsWith(' ')) {
        text.chop(1);
    }
    return text.toByteArray();
}
