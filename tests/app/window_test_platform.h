// What the window's tests need from the platform they run on: environment
// variables as the code under test reads them, a port list free of the
// machine's own ports, and the operator's input delivered by the window
// system (X through xdotool on Linux; Windows' own input queue, under Wine
// too), so the window receives it as it would from a person.
#pragma once
#include <string>

class Fl_Window;

void SetTestEnv(const char* name, const char* value);
void UnsetTestEnv(const char* name);

// Hides the machine's serial ports and USB library from discovery, so the
// port list holds exactly what TARVO6_PORTS offers. scratch: the test's folder.
void HideMachinePorts(const std::string& scratch);

// Each returns false when the input could not be sent.
// A click of mouse button 1 (left), 2 (middle) or 3 (right) at x, y of the
// window's client area.
bool ClickAt(Fl_Window* window, int x, int y, int button);
// Gives the window's client area this size, and returns once it has it.
bool ResizeClientArea(Fl_Window* window, int w, int h);
// Makes the window the one keys go to.
bool FocusWindow(Fl_Window* window);
bool PressSpace();
bool TypeText(const char* text);
