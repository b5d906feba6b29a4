// Every feature of the program described once, one row each: its item of the
// navigation bar, its page, its help topic, what on its page needs
// administrative rights, its listing in wlscan, its step of the hijack scan
// and how "wlscan fix" fixes its items. The main window (app/), the console
// scanner and the hijack scan (console/) read this table.
//
// The table is built natively too, without what needs Windows (pages,
// scanners, fixes): the help file's test and the documentation's test read
// the rest.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "core/page_text.h"
#include "ui/glyph.h"

namespace wl {

class Judge;
struct PageFix;  // features/page_fixes.h
namespace ui {
class Page;
struct PageContext;
}  // namespace ui

// What the navigation item does when it is chosen.
enum class NavigationAction {
  ScanEmptyThenShow,  // the page is scanned while its list is empty, then shown
  ShowThenScanEmpty,  // the page is shown, then scanned while its list is empty
  ScanThenShow,       // the page is scanned on every visit, then shown
  Show,               // the page is shown (it fills itself)
  MailSupport,        // a mail to the support address
  SpywareImmunize,    // the dialog "Immunize Spyware,Adware,Malware"
  SiteImmunize,       // the dialog "Immunize Restricted Sites"
  ProcessDictionary,  // the prompt of the process dictionary
};

using PageFactory = std::unique_ptr<ui::Page> (*)(ui::PageContext& context);
using PageListing = PageText (*)(const Judge& judge);
using PageFixer = PageFix (*)(const Judge& judge);

struct Feature {
  // Names the feature: the window opens its page by it; where wlscan lists
  // the page it is wlscan's page name and the first part of its items' ids.
  const char* name;
  // The navigation bar's group of the item; null: the feature has no item.
  const char* group = nullptr;
  // The item's text, also the title of its help topic and the page name of
  // the change sets its actions make.
  const char* caption = "";
  const char* hint = "";  // in the status bar while the mouse is on the item
  ui::Glyph glyph = ui::Glyph::None;
  NavigationAction action = NavigationAction::Show;
  // The page of the help file F1 opens while the feature is in view.
  const char* helpTopic = nullptr;
  // What on the page needs administrative rights; null: nothing does. Said
  // above the page while the program runs without them.
  const char* rightsNeededFor = nullptr;
  // wlscan lists the page ("wlscan NAME", "wlscan hijack-rows NAME").
  bool wlscanPage = false;
  // The page's place in the hijack scan, 1 first; 0: the scan leaves it out.
  int hijackScanStep = 0;
  // Windows only; null in the native build.
  PageFactory makePage = nullptr;  // null: no page, or the main window's own
  PageListing listing = nullptr;   // the page's rows, without a window
  PageFixer fix = nullptr;         // null: "wlscan fix" leaves its items
};

// The page the main window makes itself, and the hijack scan's report.
inline constexpr char kStatusPage[] = "status";
inline constexpr char kHijackReportPage[] = "hijack-report";

// Every feature, in the order of the navigation bar.
std::span<const Feature> Features();
const Feature* FindFeature(std::string_view name);
// The features the hijack scan reads, in its order.
const std::vector<const Feature*>& HijackScanSteps();

}  // namespace wl
