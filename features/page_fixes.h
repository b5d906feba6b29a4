// How "wlscan fix" fixes the items of a page: the page scanned now, and the
// fix of the entry behind one of its hijack rows, made as the page makes it.
// The feature table names each page's fix.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "core/page_text.h"
#include "judge/judge.h"

namespace wl {

enum class FixOutcome { Fixed, Skipped, Failed };

struct FixDone {
  FixOutcome outcome;
  std::string message;  // what was done, or why not
};

// A page scanned now, and how to fix the entry of one of its hijack rows.
struct PageFix {
  PageText text;
  std::function<FixDone(std::size_t hijackRow)> fix;
};

PageFix AutorunFix(const Judge& judge);
PageFix ServicesFix(const Judge& judge);
PageFix AssociationsFix(const Judge& judge);
PageFix IeExtensionsFix(const Judge& judge);
PageFix HelperObjectsFix(const Judge& judge);
PageFix OtherBrowsersFix(const Judge& judge);
PageFix NetworkSettingsFix(const Judge& judge);

}  // namespace wl
