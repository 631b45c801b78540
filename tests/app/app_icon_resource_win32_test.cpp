// The program's icon on Windows: the "MAINICON" resource of tarvo_6.rc, linked
// into this test as into tarvo_6, loads from the module at the sizes Windows
// asks for the big and the small window icon.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

int IconWidth(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return -1;
  BITMAP bitmap{};
  int width = GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap) ? bitmap.bmWidth : -1;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return width;
}

TEST(AppIconResource, MainIconLoadsAtTheBigAndSmallIconSizes) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  const int sizes[][2] = {{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)},
                          {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)}};
  for (const auto& size : sizes) {
    HICON icon = static_cast<HICON>(LoadImageA(module, "MAINICON", IMAGE_ICON, size[0], size[1], LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << size[0] << "x" << size[1];
    EXPECT_EQ(IconWidth(icon), size[0]);
    DestroyIcon(icon);
  }
  EXPECT_EQ(LoadImageA(module, "NOICON", IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR), nullptr);
}

}  // namespace
