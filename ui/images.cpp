#include "ui/images.h"

// GDI+ needs min and max from somewhere; the project builds with NOMINMAX.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <numbers>

namespace wl::ui {

namespace {

using namespace Gdiplus;

// GDI+ is started on first use and stays up for the rest of the run.
bool GdiplusReady() {
  static const bool ok = [] {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return GdiplusStartup(&token, &input, nullptr) == Ok;
  }();
  return ok;
}

// Palette.
constexpr ARGB kBlue = 0xFF1E6FD9;
constexpr ARGB kDarkBlue = 0xFF164F9E;
constexpr ARGB kLightBlue = 0xFF5AA3F0;
constexpr ARGB kGreen = 0xFF1F9D55;
constexpr ARGB kRed = 0xFFD93B2E;
constexpr ARGB kYellow = 0xFFF5B400;
constexpr ARGB kOrange = 0xFFEE8A1A;
constexpr ARGB kGrey = 0xFF6B7280;
constexpr ARGB kLightGrey = 0xFFCBD2DC;
constexpr ARGB kWhite = 0xFFFFFFFF;
constexpr ARGB kPaper = 0xFFFBFCFE;
constexpr ARGB kInk = 0xFF2B3442;
constexpr ARGB kFolder = 0xFFF2C14E;
constexpr ARGB kFolderDark = 0xFFD79B22;

// Drawing on a 16 × 16 design grid.
class Pad {
 public:
  explicit Pad(Graphics& g) : g_(g) {}

  void Circle(float cx, float cy, float r, ARGB fill) {
    SolidBrush b{Color(fill)};
    g_.FillEllipse(&b, cx - r, cy - r, 2 * r, 2 * r);
  }
  void Ring(float cx, float cy, float r, float width, ARGB color) {
    Pen p(Color(color), width);
    g_.DrawEllipse(&p, cx - r, cy - r, 2 * r, 2 * r);
  }
  void Box(float x, float y, float w, float h, float radius, ARGB fill, ARGB border = 0, float bw = 1.0f) {
    GraphicsPath path;
    RoundPath(path, x, y, w, h, radius);
    if (fill) {
      SolidBrush b{Color(fill)};
      g_.FillPath(&b, &path);
    }
    if (border) {
      Pen p(Color(border), bw);
      g_.DrawPath(&p, &path);
    }
  }
  void GradientBox(float x, float y, float w, float h, float radius, ARGB top, ARGB bottom) {
    GraphicsPath path;
    RoundPath(path, x, y, w, h, radius);
    LinearGradientBrush b(PointF(x, y - 0.5f), PointF(x, y + h + 0.5f), Color(top), Color(bottom));
    g_.FillPath(&b, &path);
  }
  void Line(float x1, float y1, float x2, float y2, float width, ARGB color) {
    Pen p(Color(color), width);
    p.SetStartCap(LineCapRound);
    p.SetEndCap(LineCapRound);
    g_.DrawLine(&p, x1, y1, x2, y2);
  }
  void Polyline(std::initializer_list<PointF> pts, float width, ARGB color) {
    Pen p(Color(color), width);
    p.SetStartCap(LineCapRound);
    p.SetEndCap(LineCapRound);
    p.SetLineJoin(LineJoinRound);
    std::vector<PointF> v(pts);
    g_.DrawLines(&p, v.data(), static_cast<INT>(v.size()));
  }
  void Polygon(std::initializer_list<PointF> pts, ARGB fill) {
    SolidBrush b{Color(fill)};
    std::vector<PointF> v(pts);
    g_.FillPolygon(&b, v.data(), static_cast<INT>(v.size()));
  }
  void Arc(float cx, float cy, float r, float start, float sweep, float width, ARGB color) {
    Pen p(Color(color), width);
    p.SetStartCap(LineCapRound);
    p.SetEndCap(LineCapRound);
    g_.DrawArc(&p, cx - r, cy - r, 2 * r, 2 * r, start, sweep);
  }
  void Shield(float x, float y, float w, float h, ARGB top, ARGB bottom) {
    GraphicsPath path;
    path.StartFigure();
    path.AddLine(x + w / 2, y, x + w, y + h * 0.15f);
    path.AddLine(x + w, y + h * 0.15f, x + w, y + h * 0.45f);
    path.AddBezier(PointF(x + w, y + h * 0.45f), PointF(x + w, y + h * 0.75f), PointF(x + w * 0.75f, y + h * 0.92f),
                   PointF(x + w / 2, y + h));
    path.AddBezier(PointF(x + w / 2, y + h), PointF(x + w * 0.25f, y + h * 0.92f), PointF(x, y + h * 0.75f),
                   PointF(x, y + h * 0.45f));
    path.AddLine(x, y + h * 0.45f, x, y + h * 0.15f);
    path.CloseFigure();
    LinearGradientBrush b(PointF(x, y - 0.5f), PointF(x, y + h + 0.5f), Color(top), Color(bottom));
    g_.FillPath(&b, &path);
  }
  void GearShape(float cx, float cy, float outer, float inner, float hole, ARGB fill) {
    GraphicsPath path(FillModeAlternate);
    std::vector<PointF> pts;
    const int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
      const float base = static_cast<float>(i) * 2 * std::numbers::pi_v<float> / teeth;
      const float step = 2 * std::numbers::pi_v<float> / teeth;
      const float a[4] = {base - step * 0.32f, base - step * 0.18f, base + step * 0.18f, base + step * 0.32f};
      const float r[4] = {inner, outer, outer, inner};
      for (int k = 0; k < 4; ++k) pts.emplace_back(cx + r[k] * std::cos(a[k]), cy + r[k] * std::sin(a[k]));
    }
    path.AddPolygon(pts.data(), static_cast<INT>(pts.size()));
    path.AddEllipse(cx - hole, cy - hole, 2 * hole, 2 * hole);
    SolidBrush b{Color(fill)};
    g_.FillPath(&b, &path);
  }
  void Globe(float cx, float cy, float r, ARGB fill) {
    Circle(cx, cy, r, fill);
    Pen p(Color(0xCCFFFFFF), 0.9f);
    g_.DrawEllipse(&p, cx - r * 0.45f, cy - r, r * 0.9f, 2 * r);
    g_.DrawLine(&p, cx - r, cy, cx + r, cy);
    g_.DrawLine(&p, cx, cy - r, cx, cy + r);
    g_.DrawArc(&p, cx - r * 0.95f, cy - r * 1.25f, r * 1.9f, r * 1.1f, 30, 120);
    g_.DrawArc(&p, cx - r * 0.95f, cy + r * 0.15f, r * 1.9f, r * 1.1f, 210, 120);
  }
  void FolderShape(float x, float y, float w, float h) {
    Box(x, y, w * 0.45f, h * 0.3f, 1.0f, kFolderDark);
    Box(x, y + h * 0.15f, w, h * 0.85f, 1.2f, kFolderDark);
    GradientBox(x, y + h * 0.28f, w, h * 0.72f, 1.2f, 0xFFFAD67A, kFolder);
  }
  void Sheet(float x, float y, float w, float h) {
    Box(x, y, w, h, 1.0f, kPaper, 0xFF8A94A6, 0.8f);
    for (float ly = y + 3; ly < y + h - 1.5f; ly += 2.2f) Line(x + 2, ly, x + w - 2, ly, 0.8f, kLightGrey);
  }
  void Check(float x, float y, float s, float width, ARGB color) {
    Polyline({PointF(x, y + s * 0.5f), PointF(x + s * 0.38f, y + s * 0.85f), PointF(x + s, y)}, width, color);
  }
  Graphics& g() { return g_; }

 private:
  static void RoundPath(GraphicsPath& path, float x, float y, float w, float h, float r) {
    if (r <= 0) {
      path.AddRectangle(RectF(x, y, w, h));
      return;
    }
    const float d = std::min({2 * r, w, h});
    path.AddArc(x, y, d, d, 180, 90);
    path.AddArc(x + w - d, y, d, d, 270, 90);
    path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
    path.AddArc(x, y + h - d, d, d, 90, 90);
    path.CloseFigure();
  }
  Graphics& g_;
};

void Draw(Pad& p, Glyph glyph) {
  switch (glyph) {
    case Glyph::None:
      return;
    case Glyph::Status:
      p.GradientBox(1, 1, 14, 14, 3, kLightBlue, kBlue);
      p.Polyline({{3, 8.5f}, {5.5f, 8.5f}, {7, 4.5f}, {9, 12}, {10.5f, 7.5f}, {13, 7.5f}}, 1.4f, kWhite);
      return;
    case Glyph::Mail:
      p.Box(1.5f, 3.5f, 13, 9.5f, 1.2f, kWhite, kBlue, 1.1f);
      p.Polyline({{2, 4.2f}, {8, 9}, {14, 4.2f}}, 1.1f, kBlue);
      return;
    case Glyph::ShieldCheck:
      p.Shield(2, 1, 12, 14, kLightBlue, kDarkBlue);
      p.Check(5, 5.5f, 6, 1.6f, kWhite);
      return;
    case Glyph::GlobeShield:
      p.Globe(7, 7, 6, kBlue);
      p.Shield(8.5f, 7.5f, 7, 8, 0xFF4CC27A, kGreen);
      return;
    case Glyph::Rocket:
      p.Circle(8, 8, 7, kGreen);
      p.Polygon({{6.2f, 4.5f}, {11.5f, 8}, {6.2f, 11.5f}}, kWhite);
      return;
    case Glyph::Gear:
      p.GearShape(8, 8, 7.2f, 5.4f, 2.2f, kGrey);
      return;
    case Glyph::Link: {
      const GraphicsState state = p.g().Save();
      p.g().TranslateTransform(8, 8);
      p.g().RotateTransform(-45);
      p.Box(-7, -2.5f, 8, 5, 2.5f, 0, kBlue, 1.7f);
      p.Box(-1, -2.5f, 8, 5, 2.5f, 0, kDarkBlue, 1.7f);
      p.g().Restore(state);
      return;
    }
    case Glyph::Menu:
      p.Box(2, 1.5f, 12, 13, 1.2f, kWhite, kGrey, 1.0f);
      p.Line(4, 4.5f, 12, 4.5f, 1.2f, kLightGrey);
      p.Box(3, 6.5f, 10, 3, 0.6f, kBlue);
      p.Line(4, 11.5f, 12, 11.5f, 1.2f, kLightGrey);
      return;
    case Glyph::GlobeGear:
      p.Globe(7, 7, 6, kBlue);
      p.GearShape(12, 12, 4, 3, 1.2f, kOrange);
      return;
    case Glyph::Puzzle:
      p.Box(2, 5, 9, 9, 1.2f, kGreen);
      p.Circle(6.5f, 4.5f, 2.2f, kGreen);
      p.Circle(11.5f, 9.5f, 2.2f, kGreen);
      return;
    case Glyph::Toolbar:
      p.Box(1, 2, 14, 12, 1.2f, kWhite, kGrey, 1.0f);
      p.Box(1, 2, 14, 3.5f, 1.2f, kBlue);
      p.Box(3, 7, 3, 3, 0.6f, kOrange);
      p.Box(7, 7, 3, 3, 0.6f, kGreen);
      return;
    case Glyph::Window:
      p.Box(1, 2, 14, 12, 1.2f, kWhite, kDarkBlue, 1.0f);
      p.Box(1, 2, 14, 3.5f, 1.2f, kDarkBlue);
      p.Line(3.5f, 8, 12.5f, 8, 1.1f, kLightGrey);
      p.Line(3.5f, 10.5f, 10, 10.5f, 1.1f, kLightGrey);
      return;
    case Glyph::Package:
      p.Polygon({{2, 5}, {8, 2}, {14, 5}, {8, 8}}, 0xFFE9B873);
      p.Polygon({{2, 5}, {8, 8}, {8, 15}, {2, 12}}, 0xFFC98A3B);
      p.Polygon({{14, 5}, {8, 8}, {8, 15}, {14, 12}}, 0xFFB0742A);
      p.Line(5, 3.5f, 11, 6.5f, 1.2f, 0xFFF7DDB0);
      return;
    case Glyph::Plug:
    case Glyph::PlugUdp: {
      const ARGB c = glyph == Glyph::Plug ? kBlue : kOrange;
      p.Line(8, 4, 3.5f, 12, 1.2f, kGrey);
      p.Line(8, 4, 12.5f, 12, 1.2f, kGrey);
      p.Line(3.5f, 12, 12.5f, 12, 1.2f, kGrey);
      p.Circle(8, 3.5f, 2.6f, c);
      p.Circle(3.5f, 12, 2.6f, c);
      p.Circle(12.5f, 12, 2.6f, c);
      return;
    }
    case Glyph::Wave:
      p.Box(1, 2, 14, 12, 2, kInk);
      p.Polyline({{2.5f, 8}, {4.5f, 8}, {6, 4.5f}, {8, 11.5f}, {9.5f, 6}, {11, 8}, {13.5f, 8}}, 1.2f, 0xFF4CE08A);
      return;
    case Glyph::Book:
      p.Box(2.5f, 1.5f, 11, 13, 1.2f, kDarkBlue);
      p.Box(4, 1.5f, 9.5f, 11.5f, 0.8f, kBlue);
      p.Box(4, 12.2f, 9.5f, 1.6f, 0.4f, kPaper);
      p.Line(6.5f, 5, 11, 5, 1.1f, kWhite);
      p.Line(6.5f, 7.5f, 10, 7.5f, 1.1f, kWhite);
      return;
    case Glyph::Refresh:
      p.Arc(8, 8, 5, -30, 290, 1.8f, kGreen);
      p.Polygon({{10.3f, 1.6f}, {14.6f, 4.2f}, {10.4f, 6.9f}}, kGreen);
      return;
    case Glyph::Save:
      p.Box(2, 2, 12, 12, 1.5f, kBlue);
      p.Box(4.5f, 2, 7, 4, 0.5f, kWhite);
      p.Box(9, 2.6f, 1.5f, 2.6f, 0.2f, kBlue);
      p.Box(4, 8.5f, 8, 5.5f, 0.8f, kPaper);
      return;
    case Glyph::Delete:
      p.Line(4, 4, 12, 12, 2.2f, kRed);
      p.Line(12, 4, 4, 12, 2.2f, kRed);
      return;
    case Glyph::Properties:
      p.Sheet(2.5f, 1.5f, 10, 13);
      p.Circle(11.5f, 11.5f, 3.5f, kBlue);
      p.Line(11.5f, 10.8f, 11.5f, 13.2f, 1.2f, kWhite);
      p.Circle(11.5f, 9.4f, 0.7f, kWhite);
      return;
    case Glyph::Registry:
      p.Line(4, 4, 4, 12.5f, 1.1f, kGrey);
      p.Line(4, 8, 8, 8, 1.1f, kGrey);
      p.Line(4, 12.5f, 8, 12.5f, 1.1f, kGrey);
      p.Box(1.5f, 1.5f, 5, 5, 0.8f, kBlue);
      p.Box(7.5f, 5.5f, 5, 5, 0.8f, kLightBlue);
      p.Box(7.5f, 10, 5, 5, 0.8f, kOrange);
      return;
    case Glyph::Run:
      p.Polygon({{4, 2.5f}, {13.5f, 8}, {4, 13.5f}}, kGreen);
      return;
    case Glyph::Stop:
      p.Box(3, 3, 10, 10, 1.5f, kRed);
      return;
    case Glyph::Add:
      p.Line(8, 3, 8, 13, 2.2f, kGreen);
      p.Line(3, 8, 13, 8, 2.2f, kGreen);
      return;
    case Glyph::Folder:
      p.FolderShape(1, 2.5f, 14, 11);
      return;
    case Glyph::CheckAll:
      p.Box(1.5f, 1.5f, 9, 9, 1, kWhite, kGrey, 1);
      p.Box(5.5f, 5.5f, 9, 9, 1, kWhite, kBlue, 1);
      p.Check(7.3f, 7.6f, 5.4f, 1.4f, kBlue);
      return;
    case Glyph::UncheckAll:
      p.Box(1.5f, 1.5f, 9, 9, 1, kWhite, kGrey, 1);
      p.Box(5.5f, 5.5f, 9, 9, 1, kWhite, kGrey, 1);
      return;
    case Glyph::Warning:
      p.Polygon({{8, 1}, {15.5f, 14.5f}, {0.5f, 14.5f}}, kYellow);
      p.Line(8, 5.5f, 8, 10, 1.6f, kInk);
      p.Circle(8, 12.4f, 0.9f, kInk);
      return;
    case Glyph::Check:
      p.Circle(8, 8, 7, kGreen);
      p.Check(4.5f, 5, 7, 1.7f, kWhite);
      return;
    case Glyph::Cross:
      p.Circle(8, 8, 7, kRed);
      p.Line(5.3f, 5.3f, 10.7f, 10.7f, 1.7f, kWhite);
      p.Line(10.7f, 5.3f, 5.3f, 10.7f, 1.7f, kWhite);
      return;
    case Glyph::Info:
      p.Circle(8, 8, 7, kBlue);
      p.Line(8, 7, 8, 11.5f, 1.8f, kWhite);
      p.Circle(8, 4.5f, 1.1f, kWhite);
      return;
    case Glyph::GearYellow:
      p.GearShape(8, 8, 7.2f, 5.4f, 2.2f, kYellow);
      return;
    case Glyph::DocumentGear:
      p.Sheet(1.5f, 1, 10, 13);
      p.GearShape(11.5f, 11.5f, 4.2f, 3.1f, 1.3f, kGrey);
      return;
    case Glyph::Blocks:
      p.Box(1.5f, 8.5f, 6, 6, 0.8f, kRed);
      p.Box(8.5f, 8.5f, 6, 6, 0.8f, kBlue);
      p.Box(5, 1.5f, 6, 6, 0.8f, kGreen);
      return;
    case Glyph::FolderSheet:
      p.Box(1, 2.5f, 6.3f, 3.3f, 1.0f, kFolderDark);
      p.Box(1, 4, 14, 10, 1.2f, kFolderDark);
      p.Sheet(4, 1.5f, 9, 9);
      p.Polygon({{1, 7}, {15, 7}, {14, 14}, {2, 14}}, kFolder);
      return;
    case Glyph::Drive:
      p.GradientBox(1, 5, 14, 7, 1.5f, 0xFFE3E7ED, 0xFFA9B2BF);
      p.Circle(12, 8.5f, 1.1f, 0xFF39D36F);
      p.Line(3, 8.5f, 8, 8.5f, 1, kGrey);
      return;
    case Glyph::RecycleBin:
      p.Polygon({{3, 4.5f}, {13, 4.5f}, {12, 15}, {4, 15}}, 0xFFB7C0CC);
      p.Box(2, 2.5f, 12, 2, 0.8f, kGrey);
      p.Line(6.3f, 7, 6.6f, 13, 1, kGrey);
      p.Line(9.7f, 7, 9.4f, 13, 1, kGrey);
      return;
    case Glyph::Notepad:
      p.Box(2, 2, 10, 13, 1, 0xFFFFF3B0, kFolderDark, 0.8f);
      p.Line(4, 6, 10, 6, 0.9f, kFolderDark);
      p.Line(4, 8.5f, 10, 8.5f, 0.9f, kFolderDark);
      p.Line(4, 11, 8, 11, 0.9f, kFolderDark);
      p.Line(14.5f, 2.5f, 8.5f, 12.5f, 2, kBlue);
      return;
    case Glyph::GearRunning:
      p.GearShape(8, 8, 7.2f, 5.4f, 2.2f, kGreen);
      return;
    case Glyph::GearStopped:
      p.GearShape(8, 8, 7.2f, 5.4f, 2.2f, kLightGrey);
      return;
    case Glyph::BrowserFolder:
      p.FolderShape(1, 2.5f, 14, 11);
      p.Globe(10.5f, 10, 4, kBlue);
      return;
    case Glyph::GoButton:
    case Glyph::GoButtonPressed: {
      const bool pressed = glyph == Glyph::GoButtonPressed;
      const float r = pressed ? 6.7f : 7.2f;
      const float off = pressed ? 0.4f : 0.0f;
      p.Circle(8 + off, 8 + off, r, pressed ? 0xFF0F3F80 : kDarkBlue);
      LinearGradientBrush b(PointF(0, 1), PointF(0, 15), Color(pressed ? 0xFF2F6FC0 : 0xFF6CB4FF),
                            Color(pressed ? 0xFF103F86 : kBlue));
      p.g().FillEllipse(&b, 8 + off - r + 0.6f, 8 + off - r + 0.6f, 2 * r - 1.2f, 2 * r - 1.2f);
      p.Polyline({{6.6f + off, 4.8f + off}, {9.8f + off, 8 + off}, {6.6f + off, 11.2f + off}}, 1.8f, kWhite);
      return;
    }
    case Glyph::Magnifier:
      p.Line(10, 10, 14.5f, 14.5f, 2.4f, kInk);
      p.Circle(6.5f, 6.5f, 5.3f, kDarkBlue);
      p.Circle(6.5f, 6.5f, 4.1f, 0xFFDCEBFF);
      p.Circle(6.5f, 7, 1.8f, kRed);
      p.Line(4.6f, 5.2f, 8.4f, 8.8f, 0.6f, kInk);
      p.Line(8.4f, 5.2f, 4.6f, 8.8f, 0.6f, kInk);
      return;
    case Glyph::ProductMark:
      p.Shield(1.5f, 0.5f, 13, 15, 0xFF8FC6FF, 0xFF1656B8);
      p.Arc(8, 12, 4.2f, 200, 140, 1.3f, kWhite);
      p.Polyline({{4, 8.5f}, {6, 7.3f}, {8, 8.5f}, {10, 7.3f}, {12, 8.5f}}, 1.2f, kWhite);
      p.Polyline({{5, 11}, {6.5f, 10.1f}, {8, 11}, {9.5f, 10.1f}, {11, 11}}, 1.2f, 0xCCFFFFFF);
      return;
    case Glyph::Update:
      p.Circle(8, 8, 7, kGreen);
      p.Line(8, 4, 8, 11, 1.8f, kWhite);
      p.Polyline({{5, 8.5f}, {8, 11.5f}, {11, 8.5f}}, 1.8f, kWhite);
      return;
    case Glyph::Home:
      p.Polygon({{8, 1.5f}, {15, 8}, {13, 8}, {13, 14.5f}, {3, 14.5f}, {3, 8}, {1, 8}}, kWhite);
      p.Box(6.5f, 9.5f, 3, 5, 0.4f, kBlue);
      return;
  }
}

}  // namespace

void DrawGlyph(Graphics& g, Glyph glyph, float x, float y, float size) {
  if (!GdiplusReady()) return;
  const GraphicsState state = g.Save();
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(PixelOffsetModeHalf);
  g.TranslateTransform(x, y);
  g.ScaleTransform(size / 16.0f, size / 16.0f);
  Pad pad(g);
  Draw(pad, glyph);
  g.Restore(state);
}

void DrawGlyph(HDC dc, Glyph glyph, int x, int y, int size) {
  if (!GdiplusReady()) return;
  Graphics g(dc);
  DrawGlyph(g, glyph, static_cast<float>(x), static_cast<float>(y), static_cast<float>(size));
}

HICON GlyphIcon(Glyph glyph, int size) {
  if (!GdiplusReady() || size <= 0) return nullptr;
  BITMAPV5HEADER bi{};
  bi.bV5Size = sizeof bi;
  bi.bV5Width = size;
  bi.bV5Height = -size;
  bi.bV5Planes = 1;
  bi.bV5BitCount = 32;
  bi.bV5Compression = BI_BITFIELDS;
  bi.bV5RedMask = 0x00FF0000;
  bi.bV5GreenMask = 0x0000FF00;
  bi.bV5BlueMask = 0x000000FF;
  bi.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!color) return nullptr;
  {
    Bitmap canvas(size, size, size * 4, PixelFormat32bppARGB, static_cast<BYTE*>(bits));
    Graphics g(&canvas);
    g.Clear(Color(0, 0, 0, 0));
    DrawGlyph(g, glyph, 0, 0, static_cast<float>(size));
  }
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO ii{};
  ii.fIcon = TRUE;
  ii.hbmColor = color;
  ii.hbmMask = mask;
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(mask);
  DeleteObject(color);
  return icon;
}

ImageList::ImageList(int size, const std::vector<Glyph>& glyphs) : size_(size), glyphs_(glyphs) {
  list_ = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(glyphs.size()), 16);
  for (Glyph g : glyphs) Add(g);
}

ImageList::~ImageList() {
  if (list_) ImageList_Destroy(list_);
}

ImageList& ImageList::operator=(ImageList&& o) noexcept {
  if (this != &o) {
    if (list_) ImageList_Destroy(list_);
    list_ = std::exchange(o.list_, nullptr);
    size_ = o.size_;
    glyphs_ = std::move(o.glyphs_);
  }
  return *this;
}

int ImageList::Add(HICON icon) {
  if (!list_ || !icon) return -1;
  return ImageList_AddIcon(list_, icon);
}

int ImageList::Add(Glyph glyph) {
  HICON icon = GlyphIcon(glyph, size_);
  if (!icon) {
    // Keep the indexes in step even when drawing failed.
    icon = static_cast<HICON>(CopyImage(LoadIconW(nullptr, IDI_APPLICATION), IMAGE_ICON, size_, size_, 0));
  }
  const int index = Add(icon);
  DestroyIcon(icon);
  return index;
}

void ImageList::TruncateTo(int count) {
  while (list_ && ImageList_GetImageCount(list_) > count) ImageList_Remove(list_, ImageList_GetImageCount(list_) - 1);
}

}  // namespace wl::ui
