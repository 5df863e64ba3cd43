// The widgets' font draws Japanese captions as glyphs, also on a Windows without the window's
// named face: CTest runs this once more in a Wine prefix that does not map that face.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "ClientCapture_Win32.h"
#include "ui/Painter_Win32.h"

namespace {

// One character drawn black on white with the widgets' font: its pixels, 1 where dark.
std::vector<uint8_t> drawCharacter(HDC dc, const uint32_t* bits, const char* utf8, int32_t size) {
  ui::Painter_Win32 painter(dc);
  const ui::Rect box{0, 0, size, size};
  painter.fillRect(box, ui::Colour::white);
  painter.drawText(utf8, box, ui::dtLeft | ui::dtSingleLine, ui::Font::normal, ui::Colour::black, ui::Colour::white);
  GdiFlush();
  std::vector<uint8_t> dark(static_cast<size_t>(size) * size);
  for (size_t i = 0; i < dark.size(); ++i) dark[i] = (bits[i] & 0xFF) < 0x80;
  return dark;
}

TEST(JapaneseFace, CaptionCharactersAreDrawnAsGlyphsNotBoxes) {
  constexpr int32_t size = 24;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dib = vltest::makeDib32(dc, size, size, &bits);
  ASSERT_TRUE(dib && bits);
  HGDIOBJ oldBitmap = SelectObject(dc, dib);

  HGDIOBJ oldFont = SelectObject(dc, ui::widgetFont(ui::Font::normal, 96));
  wchar_t face[LF_FACESIZE] = L"";
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, oldFont);
  char faceName[4 * LF_FACESIZE] = "";
  WideCharToMultiByte(CP_UTF8, 0, face, -1, faceName, sizeof faceName, nullptr, nullptr);

  // A font without kana draws the same empty box for every one of these.
  const char* const characters[] = {"設", "定", "ポ", "ー", "ト", "あ"};
  std::vector<std::vector<uint8_t>> drawn;
  for (const char* c : characters) {
    drawn.push_back(drawCharacter(dc, static_cast<const uint32_t*>(bits), c, size));
    size_t darkPixels = 0;
    for (uint8_t d : drawn.back()) darkPixels += d;
    EXPECT_GT(darkPixels, 0u) << c << " drew nothing with the face " << faceName;
  }
  for (size_t i = 0; i < drawn.size(); ++i)
    for (size_t j = i + 1; j < drawn.size(); ++j)
      EXPECT_NE(drawn[i], drawn[j]) << characters[i] << " and " << characters[j] << " look alike with the face "
                                    << faceName;

  SelectObject(dc, oldBitmap);
  DeleteObject(dib);
  DeleteDC(dc);
}

}  // namespace
