#include "tests/app/window_test_platform.h"

#include <windows.h>

#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdlib>

namespace {

HWND Handle(Fl_Window* window) { return fl_xid(window); }

bool Send(INPUT* inputs, UINT count) {
  return SendInput(count, inputs, sizeof(INPUT)) == count;
}

bool Key(WORD virtualKey, WORD unicode) {
  INPUT keys[2] = {};
  for (INPUT& k : keys) {
    k.type = INPUT_KEYBOARD;
    k.ki.wVk = virtualKey;
    k.ki.wScan = unicode;
    k.ki.dwFlags = unicode != 0 ? KEYEVENTF_UNICODE : 0;
  }
  keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
  return Send(keys, 2);
}

}  // namespace

void SetTestEnv(const char* name, const char* value) { _putenv_s(name, value); }
// An empty value removes the variable from the environment.
void UnsetTestEnv(const char* name) { _putenv_s(name, ""); }

// HKEY_LOCAL_MACHINE, where SERIALCOMM lists the ports, is pointed at an empty
// key of the test's own for the rest of the process.
void HideMachinePorts(const std::string& scratch) {
  static HKEY empty = nullptr;
  if (empty == nullptr) {
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\tarvo_6 tests\\no machine", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &empty, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, empty);
  }
  _putenv_s("TARVO6_LIBUSB", (scratch + "\\no_libusb0.dll").c_str());
}

bool ClickAt(Fl_Window* window, int x, int y, int button) {
  POINT at{x, y};
  if (!ClientToScreen(Handle(window), &at) || !SetCursorPos(at.x, at.y)) return false;
  const DWORD down[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_RIGHTDOWN};
  const DWORD up[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_MIDDLEUP, MOUSEEVENTF_RIGHTUP};
  if (button < 1 || button > 3) return false;
  INPUT clicks[2] = {};
  clicks[0].type = clicks[1].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = down[button - 1];
  clicks[1].mi.dwFlags = up[button - 1];
  return Send(clicks, 2);
}

// The frame around the client area comes from the window's own styles.
bool ResizeClientArea(Fl_Window* window, int w, int h) {
  HWND handle = Handle(window);
  RECT frame{0, 0, w, h};
  if (!AdjustWindowRectEx(&frame, GetWindowLongA(handle, GWL_STYLE), FALSE,
                          GetWindowLongA(handle, GWL_EXSTYLE)))
    return false;
  return SetWindowPos(handle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}

bool FocusWindow(Fl_Window* window) {
  HWND handle = Handle(window);
  SetForegroundWindow(handle);
  return SetFocus(handle) != nullptr || GetFocus() == handle;
}

bool PressSpace() { return Key(VK_SPACE, 0); }

bool TypeText(const char* text) {
  for (const char* c = text; *c != '\0'; c++)
    if (!Key(0, static_cast<unsigned char>(*c))) return false;
  return true;
}
