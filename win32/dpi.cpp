#include "win32/dpi.h"

#include <cwchar>

namespace wl::win32 {

UINT DpiOf(HWND hwnd) {
  const UINT dpi = hwnd ? GetDpiForWindow(hwnd) : 0;
  return dpi ? dpi : 96;
}

UniqueGdiObject CreateUiFont(UINT dpi, const FontSpec& spec) {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  LOGFONTW lf{};
  if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0, dpi)) {
    lf = ncm.lfMessageFont;
  } else {
    wcscpy(lf.lfFaceName, L"Segoe UI");
  }
  if (spec.face) wcsncpy(lf.lfFaceName, spec.face, LF_FACESIZE - 1);
  lf.lfHeight = -MulDiv(spec.points, static_cast<int>(dpi), 72);
  lf.lfWidth = 0;
  lf.lfWeight = spec.weight;
  lf.lfItalic = spec.italic ? TRUE : FALSE;
  lf.lfUnderline = spec.underline ? TRUE : FALSE;
  lf.lfQuality = CLEARTYPE_QUALITY;
  return UniqueGdiObject(CreateFontIndirectW(&lf));
}

}  // namespace wl::win32
