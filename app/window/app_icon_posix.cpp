// The icon image is compiled in, so the run folder needs no extra file.
#include "app/window/app_icon.h"

#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

#include "assets/tarvo_6_icon.xpm"

void SetDefaultWindowIcons() {
  Fl_Pixmap pixmap(tarvo_6_icon_xpm);
  Fl_RGB_Image icon(&pixmap, FL_WHITE);
  Fl_Window::default_icon(&icon);   // FLTK keeps its own copy
}
