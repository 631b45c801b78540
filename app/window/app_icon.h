// The program's icon as FLTK's default for every window it opens. Windows
// takes it from the executable's "MAINICON" resource, other systems from the
// image compiled into the program.
#pragma once

void SetDefaultWindowIcons();
