#include "service/service_page.h"

#include "service/service_manager.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/system_info.h"

namespace wl {
namespace {

// The hourglass for the length of a blocking service call.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_ ? previous_ : LoadCursorW(nullptr, IDC_ARROW)); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

constexpr char kRemoveCaption[] = "Remove Service";
constexpr char kSystemServiceWarning[] = "The selected item is a system service.Do not remove it.";

}  // namespace

ServicePage::ServicePage(ui::PageContext& context)
    : ListPage(context,
               {{"Display Name", 100, [](const ServiceRow& r) { return r.keyName; },
                 [](const ServiceRow& r) { return r.stopped ? ui::stock::kServiceStopped : ui::stock::kServiceRunning; }},
                {"Description", 300, [](const ServiceRow& r) { return r.description; }},
                {"State", 75, [](const ServiceRow& r) { return r.state; }},
                {"Startup", 75, [](const ServiceRow& r) { return r.startup; }},
                {"Path", 150, [](const ServiceRow& r) { return r.path; }},
                {"Analyze", 150, [](const ServiceRow& r) { return r.analyze; },
                 // The mark says what the text says: a check only for a file the
                 // judge trusts ("Distrustful File" beside a check read as a
                 // contradiction); only flagged rows are tinted and reported.
                 [](const ServiceRow& r) {
                   if (r.judgement.verdict == Verdict::Malicious) return ui::stock::kCross;
                   return r.flagged || r.judgement.verdict != Verdict::Trusted ? ui::stock::kWarning : ui::stock::kCheck;
                 }},
                {"Signer", 150, [](const ServiceRow& r) { return r.judgement.signer; }}},
               win32::ListStyle{.subItemImages = true}) {
  startService = [](const std::string& key) { return ServiceStart("", key); };
  stopService = [](const std::string& key) { return ServiceStop("", key); };
  showProperties = [](const std::string& path, HWND owner) { return ShowFileProperties(path, owner); };

  // The popup menu PMService, in its order.
  AddAction({.id = kStartServiceMenuItem, .caption = "&Start Service", .handler = [this] { StartServiceClick(); },
             .toolbar = false});
  AddAction({.id = kStopServiceMenuItem, .caption = "Sto&p Service", .handler = [this] { StopServiceClick(); },
             .toolbar = false});
  AddAction({.id = kRemoveServiceMenuItem, .caption = "Remove Service", .handler = [this] { RemoveServiceClick(); },
             .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kAutoStartMenuItem, .caption = "Auto_Start", .hint = "Set the status to Auto_Start.",
             .handler = [this] { AutoStartClick(); }, .toolbar = false});
  AddAction({.id = kManualStartMenuItem, .caption = "Manual_Start", .hint = "Set the status to Manual_Start.",
             .handler = [this] { ManualStartClick(); }, .toolbar = false});
  AddAction({.id = kDisabledMenuItem, .caption = "Disabled", .hint = "Set the status to Disabled.",
             .handler = [this] { DisabledClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the system service.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kStartServiceButton, .caption = "Start Service", .hint = "Start the selected service.",
             .glyph = ui::Glyph::Run, .handler = [this] { StartServiceClick(); }, .menu = false});
  AddAction({.id = kStopServiceButton, .caption = "Stop Service", .hint = "Stop the selected service.",
             .glyph = ui::Glyph::Stop, .handler = [this] { StopServiceClick(); }, .menu = false});
  AddAction({.id = kRemoveServiceButton, .caption = "Remove Service", .hint = "Remove the selected service.",
             .glyph = ui::Glyph::Delete, .handler = [this] { RemoveServiceClick(); }, .menu = false});

  OnPopup([this] { PMServicePopup(); });
  OnColumnClick([this](int) { ServiceListColumnClick(); });
  OnDoubleClick([this] { ServiceListDblClick(); });
}

void ServicePage::RefreshClick() {
  ServiceScanResult result = scan();
  for (auto& h : result.hijack) h.image = ui::stock::kSystemService;
  context_.hijack.Append(result.hijack);
  ShowRows(std::move(result.rows));
}

void ServicePage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
  List().View().backgroundOf = [this](std::size_t i) {
    return i < List().Count() ? ServiceListCustomDrawItem(List().Rows()[i]) : CLR_DEFAULT;
  };
}

void ServicePage::PMServicePopup() {
  const ServiceRow* row = List().Selected();
  for (int id :
       {kStartServiceMenuItem, kStopServiceMenuItem, kRemoveServiceMenuItem, kAutoStartMenuItem, kManualStartMenuItem,
        kDisabledMenuItem, kStartServiceButton, kStopServiceButton, kRemoveServiceButton})
    EnableAction(id, row != nullptr);
  const std::pair<int, const char*> marks[] = {
      {kAutoStartMenuItem, "Auto_Start"}, {kManualStartMenuItem, "Manual_Start"}, {kDisabledMenuItem, "Disabled"}};
  for (const auto& [id, name] : marks)
    CheckMenuItem(PopupMenu(), static_cast<UINT>(id),
                  MF_BYCOMMAND | (row && row->startup == name ? MF_CHECKED : MF_UNCHECKED));
}

COLORREF ServicePage::ServiceListCustomDrawItem(const ServiceRow& row) const {
  return row.flagged ? kDistrustfulRowColor : RGB(255, 255, 255);
}

void ServicePage::StartServiceClick() {
  const ServiceRow* row = List().Selected();
  if (!row) return;
  const std::string key = row->keyName;
  bool started;
  {
    WaitCursor wait;
    started = startService(key);
    RefreshClick();
  }
  if (!started) ShowStatus("The service " + key + " did not start.");
}

void ServicePage::StopServiceClick() {
  const ServiceRow* row = List().Selected();
  if (!row) return;
  const std::string key = row->keyName;
  bool stopped;
  {
    WaitCursor wait;
    stopped = stopService(key);
    RefreshClick();
  }
  if (!stopped) ShowStatus("The service " + key + " did not stop.");
}

void ServicePage::SetStartType(uint32_t start) {
  const ServiceRow* row = List().Selected();
  if (!row) return;
  const WriteResult result = SetServiceStartType(row->keyName, start);
  RefreshClick();
  if (!result) ShowStatus(result.message);
}

void ServicePage::RemoveServiceClick() {
  const ServiceRow* selected = List().Selected();
  if (!selected) return;
  const ServiceRow row = *selected;
  if (row.systemFile) {
    context_.ui.Message(kSystemServiceWarning, kRemoveCaption, MB_OK | MB_ICONWARNING);
    return;
  }
  // The service's program file is deleted for good: ask first. It is the
  // program the service starts, as the judge found it.
  const std::string program = row.judgement.program.empty() ? ExtractExecutablePath(row.path) : row.judgement.program;
  const std::string question = "Remove the service " + row.keyName +
                               (program.empty() ? std::string("?") : " and delete its program file\r\n" + program +
                                                                         "\r\nfor good?");
  if (context_.ui.Message(question, kRemoveCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;

  RemoveServiceResult result;
  {
    WaitCursor wait;
    result = removeService(row);
    if (result.outcome == RemoveServiceOutcome::Removed || result.outcome == RemoveServiceOutcome::KeyNotDeleted)
      RefreshClick();
  }
  switch (result.outcome) {
    case RemoveServiceOutcome::SystemService:
      context_.ui.Message(kSystemServiceWarning, kRemoveCaption, MB_OK | MB_ICONWARNING);
      break;
    case RemoveServiceOutcome::CannotStop:
      context_.ui.Message("Can not stop " + row.keyName, "Wardenlake", MB_OK);
      break;
    case RemoveServiceOutcome::KeyNotDeleted:
      context_.ui.Message(result.keyResult.message, kRemoveCaption, MB_OK | MB_ICONERROR);
      break;
    case RemoveServiceOutcome::Removed:
      if (!result.programKeptReason.empty())
        context_.ui.Message(result.programKeptReason, kRemoveCaption, MB_OK | MB_ICONINFORMATION);
      else if (!result.programKeptFor.empty())
        context_.ui.Message(ProgramKeptText(result.program, result.programKeptFor), kRemoveCaption,
                            MB_OK | MB_ICONINFORMATION);
      else if (result.fileResult && !*result.fileResult)
        ShowStatus(result.fileResult->message);
      break;
  }
}

void ServicePage::ServiceListDblClick() {
  const ServiceRow* row = List().Selected();
  if (!row) return;
  const std::string program = ExtractExecutablePath(row->path);
  if (!showProperties(program, context_.ui.OwnerWindow()))
    ShowStatus("Cannot show the properties of " + (program.empty() ? row->keyName : program) + ".");
}

}  // namespace wl
