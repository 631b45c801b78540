// The logo shown in the main window, read from a BMP file.
#pragma once

class Fl_Image;

// The image, or nullptr when the file is missing, is not a BMP of a sensible
// size (at most 1024 x 1024), or cannot be decoded. The caller owns it.
Fl_Image* LoadLogoImage(const char* path);
