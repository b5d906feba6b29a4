#include "network/sniffer_page.h"

#include <algorithm>

#include <fstream>
#include <iterator>

#include "network/pcap_file.h"
#include "win32/file_dialog.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

namespace {

constexpr int kDumpId = 110;
constexpr int kLineId = 111;
constexpr int kWidths[7] = {57, 101, 71, 97, 80, 84, 351};

std::wstring FromViewCodePage(const std::string& bytes) { return win32::FromCodePage(bytes, kSnifferCodePage); }

std::pair<int64_t, uint32_t> SystemNow() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  const uint64_t t = (uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime) - 116444736000000000ull;
  return {static_cast<int64_t>(t / 10000000), static_cast<uint32_t>(t % 10000000) * 100};
}

// Writes a file whole or not at all: a temporary file beside it replaces it.
DWORD WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::wstring target = win32::Widen(path);
  const std::wstring temp = target + L".wltmp";
  DWORD error = 0;
  {
    win32::UniqueHfile out(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
      error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  }
  if (!error && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) error = GetLastError();
  if (error) DeleteFileW(temp.c_str());
  return error;
}

}  // namespace

SnifferPage::SnifferPage(ui::PageContext& context, std::unique_ptr<Tcap_ip> engine)
    : ListPageBase(context), engine_(std::move(engine)) {
  chooseFile = [this](bool save) {
    const win32::FileChoice choice{.filter = "Capture File (*.pcap;*.pcapng;*.cap)|*.pcap;*.pcapng;*.cap|All Files|*.*",
                                   .defaultExtension = "pcap",
                                   .suggestedName = save ? "Capture.pcap" : ""};
    return save ? win32::AskSaveFile(context_.ui.OwnerWindow(), choice)
                : win32::AskOpenFile(context_.ui.OwnerWindow(), choice);
  };
  now = SystemNow;
  // The popup menu PMFilter ("Pause" and "Refresh" are hidden items).
  AddAction({.id = kStartCaptureMenuItem, .caption = "Start Capture", .hint = "Start capture the web data package.",
             .handler = [this] { StartCaptureClick(); }, .toolbar = false});
  AddAction({.id = kStopCaptureMenuItem, .caption = "Stop Capture", .hint = "Stop capture the web data package.",
             .handler = [this] { StopCaptureClick(); }, .toolbar = false});
  AddAction({.id = kPauseResumeAction, .caption = "Pause", .handler = [this] { PauseResumeClick(); }, .toolbar = false,
             .menu = false});
  AddAction({.id = kRefreshAction, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false,
             .menu = false});
  AddSeparator();
  AddAction({.id = kClearMenuItem, .caption = "Clear", .hint = "Clear the captured packets.",
             .handler = [this] { ClearClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kSaveCaptureMenuItem, .caption = "Save Capture...",
             .hint = "Save the listed packets to a capture file.", .handler = [this] { SaveCaptureClick(); },
             .toolbar = false});
  AddAction({.id = kOpenCaptureMenuItem, .caption = "Open Capture...", .hint = "List the packets of a capture file.",
             .handler = [this] { OpenCaptureClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kStartCaptureButton, .caption = "Start Capture", .hint = "Start capture the web data package.",
             .glyph = ui::Glyph::Run, .handler = [this] { StartCaptureClick(); }, .menu = false});
  AddAction({.id = kStopCaptureButton, .caption = "Stop Capture", .hint = "Stop capture the web data package.",
             .glyph = ui::Glyph::Stop, .handler = [this] { StopCaptureClick(); }, .menu = false});
  AddAction({.id = kSaveCaptureButton, .caption = "Save Capture...",
             .hint = "Save the listed packets to a capture file.", .glyph = ui::Glyph::Save,
             .handler = [this] { SaveCaptureClick(); }, .menu = false});
  AddAction({.id = kOpenCaptureButton, .caption = "Open Capture...", .hint = "List the packets of a capture file.",
             .glyph = ui::Glyph::Folder, .handler = [this] { OpenCaptureClick(); }, .menu = false});
  OnPopup([this] { GridClick(); });
}

SnifferPage::~SnifferPage() {
  if (hwnd() && timerOn_) KillTimer(hwnd(), kViewTimer);
  // The engine goes before the page's controls.
  engine_.reset();
}

bool SnifferPage::CreateList(UINT dpi) {
  if (!grid_.Create(hwnd(), kListId, win32::ListStyle{})) return false;
  std::vector<win32::ListColumn> columns;
  for (int i = 0; i < 7; ++i) columns.push_back({SnifferRows::Header()[static_cast<std::size_t>(i)], kWidths[i]});
  grid_.SetColumns(columns, dpi);
  grid_.textOf = [this](std::size_t row, int column) { return CellText(static_cast<int>(row) + 1, column); };
  return true;
}

void SnifferPage::OnCreate() {
  ListPageBase::OnCreate();
  const DWORD memoStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
  dumpView_ = MakeChild(L"EDIT", "", memoStyle | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL, kDumpId);
  lineView_ = MakeChild(L"EDIT", "", memoStyle | WS_VSCROLL, kLineId);
  viewFont_.reset(CreateFontW(-S(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"SimSun"));
  for (HWND memo : {dumpView_, lineView_})
    SendMessageW(memo, WM_SETFONT, reinterpret_cast<WPARAM>(viewFont_.get()), TRUE);
  RefreshClick();
}

void SnifferPage::LayoutBelowToolbar(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  const int viewHeight = std::max(S(60), height / 3);
  const int gridHeight = std::max(0, height - viewHeight - S(4));
  MoveWindow(grid_.hwnd(), area.left, area.top, width, gridHeight, TRUE);
  const int top = area.top + gridHeight + S(4);
  const int dumpWidth = std::min(S(217) + S(120), width / 2);
  MoveWindow(dumpView_, area.left, top, dumpWidth, viewHeight, TRUE);
  MoveWindow(lineView_, area.left + dumpWidth + S(4), top, std::max(0, width - dumpWidth - S(4)), viewHeight, TRUE);
}

void SnifferPage::RefreshClick() {
  // Header cells are the grid's columns; the store has its 200 slots.
  if (!engine_) engine_ = std::make_unique<Tcap_ip>();
  engine_->OnCap = [this](const std::string& ip, const std::string& proto, const std::string& sourceIP,
                          const std::string& destIP, const std::string& sourcePort, const std::string& destPort,
                          const uint8_t* header, int headerSize, const uint8_t* data, int dataSize) {
    OnPacket(ip, proto, sourceIP, destIP, sourcePort, destPort, header, headerSize, data, dataSize);
  };
  engine_->OnError = [this](const std::string& error) { OnCaptureError(error); };
  SetCapturing(false);
  SyncGrid();
}

std::string SnifferPage::CellText(int row, int column) const {
  if (column < 0 || column >= 7) return {};
  const std::string& cell = rows_.Row(row).cells[static_cast<std::size_t>(column)];
  if (column != 6) return cell;
  return win32::Narrow(FromViewCodePage(cell));
}

void SnifferPage::OnPacket(const std::string&, const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&, const uint8_t* header, int header_size,
                             const uint8_t*, int data_size) {
  const auto [seconds, nanos] = now();
  rows_.AddPacket(header, static_cast<std::size_t>(header_size) + static_cast<std::size_t>(data_size), seconds, nanos);
  // The grid catches up on the timer, not once per packet.
  dirty_ = true;
  if (!timerOn_ && hwnd()) timerOn_ = SetTimer(hwnd(), kViewTimer, kViewInterval, nullptr) != 0;
}

void SnifferPage::OnCaptureError(const std::string& Error) {
  errors_.push_back(Error);
  ShowStatus("Capture: " + Error);
}

void SnifferPage::SyncGrid() {
  dirty_ = false;
  const std::size_t items = static_cast<std::size_t>(rows_.RowCount() - 1);
  win32::ListUpdate update(grid_);
  while (shownItems_ > items) grid_.Erase(--shownItems_);
  while (shownItems_ < items) grid_.Insert(shownItems_++, false);
  grid_.RedrawItems(0, items - 1);
  // The last rows in view.
  SendMessageW(grid_.hwnd(), LVM_ENSUREVISIBLE, items - 1, FALSE);
}

void SnifferPage::GridClick() {
  const auto selected = grid_.Selected();
  if (!selected) return;
  ShowPayload(rows_.Row(static_cast<int>(*selected) + 1).payload);  // the empty last row shows nothing
}

void SnifferPage::ShowPayload(const std::vector<uint8_t>& payload) {
  const PayloadDump dump = DumpPayload(payload.data(), payload.size());
  std::string hex;
  for (const auto& line : dump.hexLines) hex += line + "\r\n";
  SetWindowTextW(dumpView_, FromViewCodePage(hex).c_str());
  SetWindowTextW(lineView_, FromViewCodePage(dump.text).c_str());
}

std::string SnifferPage::DumpText() const { return win32::GetText(dumpView_); }
std::string SnifferPage::LineText() const { return win32::GetText(lineView_); }

void SnifferPage::SetCapturing(bool capturing) {
  for (int id : {kStartCaptureMenuItem, kStartCaptureButton}) EnableAction(id, !capturing);
  for (int id : {kStopCaptureMenuItem, kStopCaptureButton}) EnableAction(id, capturing);
}

void SnifferPage::StartCaptureClick() {
  errors_.clear();
  try {
    engine_->Start();
  } catch (const ESocketException& e) {
    ShowStatus(std::string("Capture: ") + e.what());
    context_.ui.Message(e.what(), "Net Sniffer", MB_OK | MB_ICONERROR);
    SetCapturing(false);
    return;
  }
  const bool capturing = engine_->CapturingSockets() > 0;
  SetCapturing(capturing);
  if (!capturing && errors_.empty()) ShowStatus("Capture: no socket could be opened.");
  if (capturing && errors_.empty()) ShowStatus("Capturing on " + std::to_string(engine_->CapturingSockets()) + " address(es).");
}

void SnifferPage::StopCaptureClick() {
  engine_->Stop();
  SetCapturing(false);
  if (dirty_) SyncGrid();
}

void SnifferPage::PauseResumeClick() {
  engine_->Pause();
  pauseCaption_ = engine_->Paused() ? "Resume" : "Pause";
}

void SnifferPage::ClearClick() {
  rows_.Clear();
  SyncGrid();
}

void SnifferPage::SaveCaptureClick() {
  if (rows_.PacketCount() <= 0) {
    ShowStatus("There are no packets to save.");
    return;
  }
  const auto file = chooseFile(true);
  if (!file || file->empty()) return;
  PcapWriter writer;
  for (int r = 1; r <= rows_.PacketCount(); ++r) {
    const SnifferRow& row = rows_.Row(r);
    writer.Add(row.packet.data(), row.packet.size(), row.seconds, row.nanoseconds);
  }
  if (const DWORD error = WriteWholeFile(*file, writer.Bytes())) {
    context_.ui.Message("The capture could not be saved to \"" + *file + "\":\r\n" + win32::SystemErrorText(error),
                        "Save Capture", MB_OK | MB_ICONERROR);
    return;
  }
  ShowStatus(std::to_string(rows_.PacketCount()) + " packet(s) saved to " + *file);
}

void SnifferPage::OpenCaptureClick() {
  const auto file = chooseFile(false);
  if (!file || file->empty()) return;
  std::vector<uint8_t> bytes;
  {
    win32::UniqueHfile in(CreateFileW(win32::Widen(*file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!in || !GetFileSizeEx(in.get(), &size)) {
      context_.ui.Message("The capture file \"" + *file + "\" could not be opened:\r\n" +
                              win32::SystemErrorText(GetLastError()),
                          "Open Capture", MB_OK | MB_ICONERROR);
      return;
    }
    if (size.QuadPart > (1ll << 30)) {
      context_.ui.Message("The capture file \"" + *file + "\" is larger than 1 GB.", "Open Capture",
                          MB_OK | MB_ICONERROR);
      return;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
      context_.ui.Message("The capture file \"" + *file + "\" could not be read:\r\n" +
                              win32::SystemErrorText(GetLastError()),
                          "Open Capture", MB_OK | MB_ICONERROR);
      return;
    }
  }
  const CaptureReadResult result = ReadCapture(bytes.data(), bytes.size(), [this](const CapturePacket& p) {
    rows_.AddPacket(p.data, p.size, p.seconds, p.nanoseconds);
  });
  SyncGrid();
  std::string status = std::to_string(result.packets) + " packet(s) listed from " + *file;
  if (result.skipped) status += "; " + std::to_string(result.skipped) + " frame(s) without an IPv4 packet skipped";
  if (!result.ok) {
    context_.ui.Message(result.error + (result.packets ? "\r\nThe packets before the damage are listed." : ""),
                        "Open Capture", MB_OK | MB_ICONWARNING);
    status += "; " + result.error;
  }
  ShowStatus(status);
}

LRESULT SnifferPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kViewTimer) {
    if (dirty_) {
      SyncGrid();
    } else {
      KillTimer(hwnd(), kViewTimer);  // quiet: no timer until the next packet
      timerOn_ = false;
    }
    return 0;
  }
  return ListPageBase::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl
