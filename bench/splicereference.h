// The data escapes as the KAM bridge first did them: find the next special character, splice
// the text around it, search again. Every splice copies the whole text, so a text full of FEND
// and FESC costs quadratic time. Kept here only as the yardstick for the one-pass codec.
#pragma once

#include <QByteArray>

namespace splicereference {

// FESC becomes FESC TFESC in a first pass, then FEND becomes FESC TFEND in a second one.
QByteArray escape(QByteArray datablock);

// FESC TFEND becomes FEND, FESC TFESC becomes FESC, any other FESC is removed.
QByteArray unescape(QByteArray datablock);

} // namespace splicereference
