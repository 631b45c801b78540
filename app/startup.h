// The program's start and end around the FLTK event loop; main() is these two
// calls with Fl::run() between them.
#pragma once
#include <string>

struct AppState;
class xMainForm;

// Loads the catalog; binds the USB library, discovers the ports, reads the
// port chosen last from tarvo_6.ini and makes state's link; builds and shows
// the window on state; starts the tick service and the port layer, and leaves
// Read and Write inactive until a port is open. state outlives the window.
xMainForm* OpenMainWindow(AppState& state, int argc, char** argv);
// Closes state's open port, stops the port layer (closing port.out) and the
// tick service. The window and the link are not deleted.
void CloseDown(AppState& state);

// The port name tarvo_6.ini in the working directory remembers, cut to 99
// bytes; empty when there is none.
std::string ReadRememberedPort();
