// Shutdown: the client socket closes, the own callsign is withdrawn and the engine control is
// switched off, which takes any link down cleanly before it closes the engine connection.
#include "bridge/bridge.h"

void Bridge::Form_Unload() {
    for (const hostcodec::Stream stream : s_.links.busyStreams()) {
        s_.links.at(stream).endCause = LinkEnd::ShutDown;
    }
    closeClient();
    engine_.unregisterCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, QByteArray());
    engine_.setActive(false);
    engine_.setEnabled(false);
}
