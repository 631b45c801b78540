// The program's start and end around the FLTK event loop; main() is these two
// calls with Fl::run() between them.
#pragma once

class xMainForm;

// Loads the catalog, builds and shows the window, starts the tick service and
// the port layer, and leaves Read and Write inactive until a port is open.
xMainForm* OpenMainWindow(int argc, char** argv);
// Closes the open port, stops the port layer (closing port.out) and the tick
// service. The window is not deleted.
void CloseDown();
