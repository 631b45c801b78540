// FLTK's BMP reader trusts the header: a damaged file claiming a huge picture
// makes it allocate and read for a long time. The header is checked first.
#include "app/window/logo_image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <FL/Fl_BMP_Image.H>

#include "util/regular_file.h"

namespace {

constexpr int32_t kMaxSide = 1024;

int32_t Le32(const unsigned char* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}
int32_t Le16(const unsigned char* p) { return p[0] | p[1] << 8; }

bool HeaderLooksSane(const char* path) {
  unsigned char header[26];
  // Only a regular file: FLTK would block on a FIFO and read a device for ever.
  FILE* file = OpenRegularFile(path, "rb");
  if (file == nullptr) return false;
  const size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (got < sizeof header || header[0] != 'B' || header[1] != 'M') return false;
  int32_t width, height;
  if (Le32(header + 14) == 12) {   // the old OS/2 header: 16-bit sides
    width = Le16(header + 18);
    height = Le16(header + 20);
  } else {
    width = Le32(header + 18);
    height = Le32(header + 22);
    if (height < 0 && height != INT32_MIN) height = -height;   // rows stored top down
  }
  return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

}  // namespace

Fl_Image* LoadLogoImage(const char* path) {
  if (!HeaderLooksSane(path)) return nullptr;
  Fl_BMP_Image* image = new Fl_BMP_Image(path);
  if (image->fail() != 0 || image->w() <= 0 || image->h() <= 0) {
    delete image;
    return nullptr;
  }
  return image;
}
