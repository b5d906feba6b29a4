#include "network/port_page.h"

namespace wl {

namespace {
int RowImage(const PortRow& r) { return r.tcp ? ui::stock::kPortTcp : ui::stock::kPortUdp; }
}  // namespace

PortPage::PortPage(ui::PageContext& context)
    : ListPage(context, {{"Description", 290, [](const PortRow& r) { return r.description; }, RowImage},
                         {"Protocol", 55, [](const PortRow& r) { return r.protocol; }},
                         {"Port", 60, [](const PortRow& r) { return r.port; }},
                         {"Remote Address", 100, [](const PortRow& r) { return r.remoteAddress; }},
                         {"Remote Port", 75, [](const PortRow& r) { return r.remotePort; }},
                         {"State", 80, [](const PortRow& r) { return r.state; }},
                         {"PID", 50, [](const PortRow& r) { return r.pid; }},
                         {"Process", 120, [](const PortRow& r) { return r.processName; }}}) {
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Refresh the active ports.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  OnColumnClick([this](int) { PortListColumnClick(); });
}

PortPage::~PortPage() = default;

void PortPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.categoryImages.get());
}

PortTextSources PortPage::Sources() {
  if (!resolver_) {
    // The resolver's threads only post a message to the page's window.
    const HWND page = hwnd();
    resolver_ = std::make_unique<ReverseResolver>(lookupHost, [page] { PostMessageW(page, kNamesArrived, 0, 0); });
  }
  ReverseResolver* resolver = resolver_.get();
  return SystemPortTextSources([resolver](const IpAddress& a) { return resolver->Name(a); });
}

void PortPage::ReadPortTable() {
  const EndpointTables read = readEndpoints();
  if (!read.ok) {
    // The previous rows stay.
    ShowStatus("The active ports could not be read. " + read.error);
    return;
  }
  ShowRows(BuildPortRows(read.endpoints, context_.tables, Sources()));
  if (!read.error.empty()) ShowStatus("Some ports are missing. " + read.error);
}

void PortPage::ApplyNames() {
  if (!resolver_) return;
  PortTextSources sources;
  ReverseResolver* resolver = resolver_.get();
  sources.hostName = [resolver](const IpAddress& a) { return resolver->Name(a); };
  const auto& rows = List().Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].remoteNamed || !rows[i].tcp) continue;
    std::vector<PortRow> one{rows[i]};
    if (ApplyHostNames(one, sources)) List().Update(i, std::move(one[0]));
  }
}

LRESULT PortPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kNamesArrived) {
    // Several answers may come with one message, or none with a late one.
    MSG pending;
    while (PeekMessageW(&pending, hwnd(), kNamesArrived, kNamesArrived, PM_REMOVE)) {
    }
    ApplyNames();
    return 0;
  }
  return ListPage::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl
