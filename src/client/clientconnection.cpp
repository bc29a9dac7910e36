// Placeholder until the client side lands: start-up calls these.
#include "app/bridge.h"

void Bridge::connectClientSocket() {}
void Bridge::startListening() {}
void Bridge::closeClient() {}
