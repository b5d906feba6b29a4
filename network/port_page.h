// The "Active Ports" page: PortList with the TCP and UDP endpoints,
// their descriptions from Port.db, the owning process. Host names of remote
// addresses come from a background resolver and replace the dotted texts as
// they arrive.
#pragma once

#include <functional>
#include <memory>

#include "network/port_table.h"
#include "network/reverse_resolver.h"
#include "ui/list_page.h"

namespace wl {

class PortPage : public ui::ListPage<PortRow> {
 public:
  static constexpr int kRefreshButton = 1003;  // "Refresh"
  static constexpr UINT kNamesArrived = WM_APP + 14;

  explicit PortPage(ui::PageContext& context);
  ~PortPage() override;

  void RefreshClick() { ReadPortTable(); }
  void ReadPortTable();
  void PortListColumnClick() { List().SortByCaption(); }
  void RefreshPage() override { ReadPortTable(); }
  // Puts the names the resolver has found into the rows.
  void ApplyNames();

  // Seams (tests replace them before the first read).
  std::function<EndpointTables()> readEndpoints = [] { return ReadEndpointTables(); };
  std::function<std::string(const IpAddress&)> lookupHost = [](const IpAddress& a) { return LookupHostName(a); };

 protected:
  void OnCreate() override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  PortTextSources Sources();
  std::unique_ptr<ReverseResolver> resolver_;
};

}  // namespace wl
