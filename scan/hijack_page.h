// The hijack report page: HijackList shows the report's rows ("Item Name",
// "Description" with the category's image, and the hidden "Index"); "Save
// Report" writes them to a text file. Nothing can be removed here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ui/list_page.h"
#include "core/hijack_list.h"

namespace wl {

class HijackPage : public ui::ListPage<HijackRow> {
 public:
  static constexpr int kSaveReportButton = 1031;  // "Save Report"

  explicit HijackPage(ui::PageContext& context);

  void SaveReportClick();
  void HijackListColumnClick();
  void OnShow() override;
  void RefreshPage() override { ShowReport(); }

  // The file the report goes to; nullopt when the user cancels.
  std::function<std::optional<std::string>(const std::string& suggestedName)> chooseFile;
  // Today's date in the system's short form.
  std::function<std::string()> today;
  // The name of the running Windows version (may be empty).
  std::function<std::string()> systemName;

 protected:
  void OnCreate() override;

 private:
  void ShowReport();
  std::uint64_t shownRevision_ = UINT64_MAX;
};

}  // namespace wl
