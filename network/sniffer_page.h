// The "Net Sniffer" page (page 9): the packets the capture engine delivers
// in a grid of at most 200 rows, and the selected packet's payload as a hex
// dump (Memo1) and as text (Memo2). Captures are saved to and opened from
// pcap files. The engine's errors go to the status bar.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "network/cap_ip.h"
#include "network/sniffer_rows.h"
#include "ui/list_page.h"

namespace wl {

class SnifferPage : public ui::ListPageBase {
 public:
  // The toolbar ToolBar1 and the popup menu PMFilter.
  static constexpr int kToolButton1 = 1001;  // "Start Capture"
  static constexpr int kToolButton2 = 1002;  // "Stop Capture"
  static constexpr int kToolButtonSave = 1004;
  static constexpr int kToolButtonOpen = 1005;
  static constexpr int kStartCapture1 = 1101;
  static constexpr int kPauseResume1 = 1102;  // hidden
  static constexpr int kStopCapture1 = 1103;
  static constexpr int kRefresh9 = 1104;      // hidden
  static constexpr int kClear1 = 1105;
  static constexpr int kSaveCapture1 = 1106;
  static constexpr int kOpenCapture1 = 1107;
  static constexpr UINT_PTR kViewTimer = 9;
  static constexpr UINT kViewInterval = 100;  // ms between grid updates while packets arrive

  // engine: the capture component the page owns (tests give their own).
  explicit SnifferPage(ui::PageContext& context, std::unique_ptr<Tcap_ip> engine = nullptr);
  ~SnifferPage() override;

  void Refresh9Click();  // page set-up, once at creation
  void cap_ip1Cap(const std::string& ip, const std::string& proto, const std::string& sourceIP,
                  const std::string& destIP, const std::string& SourcePort, const std::string& DestPort,
                  const uint8_t* header, int header_size, const uint8_t* data, int data_size);
  void cap_ip1Error(const std::string& Error);
  void StringGrid1Click();
  void StartCapture1Click();
  void StopCapture1Click();
  void ToolButton1Click() { StartCapture1Click(); }
  void ToolButton2Click() { StopCapture1Click(); }
  void PauseResume1Click();
  void Clear1Click();
  void SaveCapture1Click();
  void OpenCapture1Click();

  bool IsEmpty() const override { return false; }  // the navigation item never refreshes it

  // Brings the grid up to date with the rows now (the timer does it too).
  void SyncGrid();

  Tcap_ip& Engine() { return *engine_; }
  const SnifferRows& Rows() const { return rows_; }
  win32::ListView& Grid() { return grid_; }
  std::string Memo1Text() const;
  std::string Memo2Text() const;
  const std::string& PauseCaption() const { return pauseCaption_; }
  // The cell as the grid shows it (UTF-8).
  std::string CellText(int row, int column) const;

  // Seams: the file chooser (nullopt: cancelled) and the clock.
  std::function<std::optional<std::string>(bool save)> chooseFile;
  std::function<std::pair<int64_t, uint32_t>()> now;

 protected:
  win32::ListView& MainView() override { return grid_; }
  bool CreateList(UINT dpi) override;
  void OnCreate() override;
  void LayoutBelowToolbar(const RECT& area) override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetCapturing(bool capturing);
  void ShowPayload(const std::vector<uint8_t>& payload);

  std::unique_ptr<Tcap_ip> engine_;
  SnifferRows rows_;
  win32::ListView grid_;
  HWND memo1_ = nullptr;
  HWND memo2_ = nullptr;
  win32::UniqueGdiObject viewFont_;
  std::string pauseCaption_ = "Pause";
  std::size_t shownItems_ = 0;
  bool dirty_ = false;
  bool timerOn_ = false;
  std::vector<std::string> errors_;  // the engine's reports during one Start
};

}  // namespace wl
