// Placeholder until the engine side lands: start-up calls these.
#include "app/bridge.h"

void Bridge::connectEngine() {}
void Bridge::startEngine() {}
