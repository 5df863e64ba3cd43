#pragma once

#include <windows.h>

#include "comsrc/Bitmap.h"

namespace comsrc {

// A bitmap only GDI can draw into, through the device context it lends out.
class GDIBitmap : public Bitmap {
 public:
  ~GDIBitmap() override;

  // Makes the context on first use; null while there is no DC.
  DrawingContext* lockContext() override;
  // 0 for this bitmap's own context, -1 otherwise; there is no lock flag.
  int32_t unlockContext(DrawingContext* context) override;

 protected:
  explicit GDIBitmap(int32_t kindCode) : Bitmap(kindCode) {}

  HDC hdc = nullptr;  // a screen DC, handed back with ReleaseDC; subclasses null what they delete
};

// A bitmap compatible with a reference DC, selected into a memory DC of its own.
class CompatBitmap : public GDIBitmap {
 public:
  CompatBitmap();  // width and height of the primary screen until created
  ~CompatBitmap() override;

  int32_t create(int32_t width, int32_t height) override { return -1; }  // needs a reference DC
  // Replaces any earlier bitmap. -1 when the memory DC fails, -2 when the bitmap does.
  virtual int32_t createCompatible(HDC referenceDC, int32_t width, int32_t height);
  virtual HBITMAP getHandle() { return bitmap; }

 private:
  void release();

  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
};

}  // namespace comsrc
