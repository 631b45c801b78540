// SIGINT and SIGTERM ask the simulator to stop (it saves its image first);
// SIGUSR1 turns the configuration key over.
#pragma once

void installSignalHandlers();
bool stopRequested();
// True once per SIGUSR1 received since the last call.
bool takeKeyToggle();
