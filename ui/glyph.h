// The names of the program's pictures (drawn in ui/images.cpp). Portable:
// the feature table names its navigation glyphs in the native build too.
#pragma once

namespace wl::ui {

enum class Glyph {
  None,
  // Navigation items.
  Status,
  Mail,
  ShieldCheck,
  GlobeShield,
  Rocket,
  Gear,
  Link,
  Menu,
  GlobeGear,
  Puzzle,
  Toolbar,
  Window,
  Package,
  Plug,
  Wave,
  Book,
  // Toolbar actions.
  Refresh,
  Save,
  Delete,
  Properties,
  Registry,
  Run,
  Stop,
  Add,
  Folder,
  CheckAll,
  UncheckAll,
  // Stock images of the shared lists.
  Warning,
  Check,
  Cross,
  Info,
  GearYellow,
  DocumentGear,
  Blocks,
  FolderSheet,
  Drive,
  RecycleBin,
  Notepad,
  GearRunning,
  GearStopped,
  PlugUdp,
  BrowserFolder,
  // Large pictures.
  GoButton,
  GoButtonPressed,
  Magnifier,
  ProductMark,
  Update,
  Home,
};

}  // namespace wl::ui
