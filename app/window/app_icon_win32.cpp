// The icon comes from the "MAINICON" resource linked into the executable
// (tarvo_6.rc), in the sizes Windows asks for big and small window icons.
#include "app/window/app_icon.h"

#include <windows.h>

#include <FL/Fl_Window.H>
#include <FL/x.H>

void SetDefaultWindowIcons() {
  HINSTANCE module = GetModuleHandle(nullptr);
  HICON bigIcon = static_cast<HICON>(LoadImage(module, "MAINICON", IMAGE_ICON,
      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  HICON smallIcon = static_cast<HICON>(LoadImage(module, "MAINICON", IMAGE_ICON,
      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  Fl_Window::default_icons(bigIcon, smallIcon);
}
