#include "tests/app/window_test_platform.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/private_display.h"

namespace {

std::string WindowId(Fl_Window* window) { return std::to_string(fl_xid(window)); }

bool Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, 5000) == 0;
}

}  // namespace

void SetTestEnv(const char* name, const char* value) { setenv(name, value, 1); }
void UnsetTestEnv(const char* name) { unsetenv(name); }

void HideMachinePorts(const std::string& scratch) {
  std::filesystem::create_directories(scratch + "/no_sysfs/class/tty");
  setenv("TARVO6_SYSFS", (scratch + "/no_sysfs").c_str(), 1);
  setenv("TARVO6_LIBUSB", (scratch + "/no_libusb.so").c_str(), 1);
}

// No --sync on the move: xdotool would wait for ever when the pointer is
// there already; the X server handles the move before the click anyway.
bool ClickAt(Fl_Window* window, int x, int y, int button) {
  return Xdotool({"mousemove", "--window", WindowId(window), std::to_string(x), std::to_string(y),
                  "click", std::to_string(button)});
}

bool ResizeClientArea(Fl_Window* window, int w, int h) {
  return Xdotool({"windowsize", "--sync", WindowId(window), std::to_string(w), std::to_string(h)});
}

bool FocusWindow(Fl_Window* window) { return Xdotool({"windowfocus", "--sync", WindowId(window)}); }
bool PressSpace() { return Xdotool({"key", "space"}); }
bool TypeText(const char* text) { return Xdotool({"type", "--delay", "1", text}); }
