// Reading and writing numbers the way the KAM bridge always has: command-line fields are read
// like BASIC's Val and CBool, the window's port boxes are written like Str, and ports and
// channel ids are rounded to the nearest integer with halves to even.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Reads the leading number of text: blanks, tabs and line feeds are skipped anywhere; then a
// sign, digits with at most one full stop, an exponent with E or D; or &H hex, &O octal.
// Reading stops at the first character that cannot continue the number; no number gives 0.
double readNumber(QByteArrayView text);

// True or False in any letter case, or a decimal number as a whole (0 is False, any other
// number True). Anything else has no boolean reading.
std::optional<bool> readBoolean(QByteArrayView text);

// A number that is not negative as a blank and its digits, a negative one with its minus sign:
// 1 is " 1", 2.5 is " 2.5", -3 is "-3". At most 15 significant digits.
QByteArray leadingBlankNumber(double value);

// Nearest 32-bit integer, halves to the even neighbour; nothing when out of range.
std::optional<qint32> roundHalfEven(double value);
