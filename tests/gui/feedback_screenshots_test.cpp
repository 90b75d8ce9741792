// Pictures of the program's boxes for docs/screenshots, taken when VELMORA_SCREENSHOT_DIR
// names a folder (scripts/feedback-screenshots sets it); otherwise skipped.
#include <gtest/gtest.h>
#include <objidl.h>
#include <windows.h>
// objidl.h first: the lean Windows headers leave out what GDI+ needs.
#include <gdiplus.h>

#include <cstdlib>
#include <string>

#include "feedback/app_message_box.h"
#include "gui/support/feedback_box_driver.h"
#include "winfw/gdi.h"
#include "winfw/gdiplus_session.h"

namespace velmora {
namespace {

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(encoders[i].MimeType) != L"image/png") continue;
    Gdiplus::Bitmap image(bitmap, nullptr);
    return image.Save(path.c_str(), &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
  }
  return false;
}

TEST(FeedbackScreenshots, Boxes) {
  const wchar_t* dir = _wgetenv(L"VELMORA_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == L'\0') GTEST_SKIP() << "VELMORA_SCREENSHOT_DIR not set";
  winfw::GdiplusSession gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  struct Shot {
    const wchar_t* file;
    std::wstring text;
    unsigned flags;
    int answer;
  };
  const Shot shots[] = {
      {L"message_box_information.png", L"Please select a valid folder path.", kAppBoxInformation,
       IDOK},
      {L"message_box_question.png", L"Are you sure to stop the running process?", kAppBoxQuestion,
       IDNO},
      {L"message_box_saved.png",
       L"File(s) saving process has been completed.Saved file(s) location is:<br><a "
       L"href='C:\\Users\\Ana\\Documents\\Repaired'>C:\\Users\\Ana\\Documents\\Repaired</a>",
       kAppBoxInformation, IDOK},
  };
  for (const Shot& shot : shots) {
    const std::wstring path = std::wstring(dir) + L"\\" + shot.file;
    bool saved = false;
    test::BoxDriver driver({[&](HWND box) {
      RedrawWindow(box, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
      GdiFlush();
      // What the display shows, frame and buttons included.
      RECT r{};
      GetWindowRect(box, &r);
      winfw::WindowDc screen(nullptr);
      winfw::MemoryDc dc(screen.get());
      winfw::Bitmap bitmap(
          CreateCompatibleBitmap(screen.get(), r.right - r.left, r.bottom - r.top));
      {
        winfw::SelectObj select(dc.get(), bitmap.get());
        BitBlt(dc.get(), 0, 0, r.right - r.left, r.bottom - r.top, screen.get(), r.left, r.top,
               SRCCOPY);
      }
      saved = SavePng(bitmap.get(), path);
      PostMessageW(GetDlgItem(box, shot.answer), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(AppMessageBox(nullptr, shot.text, shot.flags | kMbNoBeep), shot.answer);
    EXPECT_TRUE(saved) << shot.file;
  }
}

}  // namespace
}  // namespace velmora
