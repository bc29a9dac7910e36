// AX.25 callsigns as the engine wants them on the wire. The engine matches links by the exact
// text and drops SSID 0 from what it hears on the air, so "N0CALL-0" and "n0call" would name
// links it can never complete; one canonical spelling avoids that.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Surrounding blanks, tabs, CR and LF removed, upper case, a trailing "-0" dropped. The result
// may still be invalid; see isValidCallsign.
QByteArray canonicalCallsign(QByteArrayView text);

// CALL or CALL-n: one to six upper-case letters or digits, then optionally an SSID from 1 to 15
// without a leading zero: the form the engine puts on the air and reports back.
bool isValidCallsign(QByteArrayView call);
