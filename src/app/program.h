// The program's two ways to run, each from start-up to the end of its event loop: headless,
// with the log on standard output, or with the window. The packet engine is handed in, so that
// the whole run can be tested against a double. Either way the bridge shuts down exactly once,
// whatever asks first (the window closing, SIGINT or SIGTERM, a fatal error), and the program
// ends once the engine connection is closed or a grace time is up.
#pragma once

#include "app/options.h"
#include "engine/packetengine.h"

// The exit status: 0, or 1 after a fatal error (headless only; a window stays open instead).
int runHeadless(const ProgramOptions &options, PacketEngine &engine);
int runWindow(const ProgramOptions &options, PacketEngine &engine);
