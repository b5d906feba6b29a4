// The program's pictures, drawn as vectors (GDI+) so they stay sharp at any
// DPI: navigation and toolbar glyphs, the stock images of the shared image
// lists, and the larger pictures of the status page and the header strip.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>
#include <vector>

#include "ui/glyph.h"

namespace Gdiplus {
class Graphics;
}

namespace wl::ui {

// Draws glyph into the square at (x, y) with side size, antialiased.
void DrawGlyph(Gdiplus::Graphics& g, Glyph glyph, float x, float y, float size);
// Draws glyph on a device context (a square of side size at x, y).
void DrawGlyph(HDC dc, Glyph glyph, int x, int y, int size);
// An icon of the glyph, size × size pixels; the caller destroys it.
HICON GlyphIcon(Glyph glyph, int size);

// Owner of an image list.
class ImageList {
 public:
  ImageList() = default;
  ImageList(int size, const std::vector<Glyph>& glyphs);
  ~ImageList();
  ImageList(ImageList&& o) noexcept
      : list_(std::exchange(o.list_, nullptr)), size_(o.size_), glyphs_(std::move(o.glyphs_)) {}
  ImageList& operator=(ImageList&& o) noexcept;
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;

  HIMAGELIST get() const { return list_; }
  int Size() const { return size_; }
  int Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }
  // Appends an icon (the list keeps a copy); returns its index or -1.
  int Add(HICON icon);
  int Add(Glyph glyph);
  // Removes every image from index on.
  void TruncateTo(int count);
  // The glyphs the list was made from (to make it again at another size).
  const std::vector<Glyph>& Glyphs() const { return glyphs_; }

 private:
  HIMAGELIST list_ = nullptr;
  int size_ = 16;
  std::vector<Glyph> glyphs_;
};

}  // namespace wl::ui
