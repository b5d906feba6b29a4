// The "Net Sniffer" page: the packets the capture engine delivers
// in a grid of at most 200 rows, and the selected packet's payload as a hex
// dump and as one line of text. Captures are saved to and opened from
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
  // The toolbar and the popup menu PMFilter.
  static constexpr int kStartCaptureButton = 1001;  // "Start Capture"
  static constexpr int kStopCaptureButton = 1002;   // "Stop Capture"
  static constexpr int kSaveCaptureButton = 1004;
  static constexpr int kOpenCaptureButton = 1005;
  static constexpr int kStartCaptureMenuItem = 1101;
  static constexpr int kPauseResumeAction = 1102;  // hidden
  static constexpr int kStopCaptureMenuItem = 1103;
  static constexpr int kRefreshAction = 1104;      // hidden
  static constexpr int kClearMenuItem = 1105;
  static constexpr int kSaveCaptureMenuItem = 1106;
  static constexpr int kOpenCaptureMenuItem = 1107;
  static constexpr UINT_PTR kViewTimer = 9;
  static constexpr UINT kViewInterval = 100;  // ms between grid updates while packets arrive

  // engine: the capture component the page owns (tests give their own).
  explicit SnifferPage(ui::PageContext& context, std::unique_ptr<Tcap_ip> engine = nullptr);
  ~SnifferPage() override;

  void RefreshClick();  // page set-up, once at creation
  void OnPacket(const std::string& ip, const std::string& proto, const std::string& sourceIP,
                  const std::string& destIP, const std::string& SourcePort, const std::string& DestPort,
                  const uint8_t* header, int header_size, const uint8_t* data, int data_size);
  void OnCaptureError(const std::string& Error);
  void GridClick();
  void StartCaptureClick();
  void StopCaptureClick();
  void PauseResumeClick();
  void ClearClick();
  void SaveCaptureClick();
  void OpenCaptureClick();

  bool IsEmpty() const override { return false; }  // the navigation item never refreshes it

  // Brings the grid up to date with the rows now (the timer does it too).
  void SyncGrid();

  Tcap_ip& Engine() { return *engine_; }
  const SnifferRows& Rows() const { return rows_; }
  win32::ListView& Grid() { return grid_; }
  std::string DumpText() const;
  std::string LineText() const;
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
  HWND dumpView_ = nullptr;
  HWND lineView_ = nullptr;
  win32::UniqueGdiObject viewFont_;
  std::string pauseCaption_ = "Pause";
  std::size_t shownItems_ = 0;
  bool dirty_ = false;
  bool timerOn_ = false;
  std::vector<std::string> errors_;  // the engine's reports during one Start
};

}  // namespace wl
