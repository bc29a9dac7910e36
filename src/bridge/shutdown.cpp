// Shutdown: the client socket closes, the own callsign is withdrawn and the engine control is
// switched off, which takes any link down cleanly before it closes the engine connection.
#include "app/bridge.h"

void Bridge::Form_Unload() {
    closeClient();
    AGWAPIX1.unregisterCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, QByteArray());
    AGWAPIX1.setActive(false);
    AGWAPIX1.setEnabled(false);
}
