// A small service program for the tests: it runs as its own process under the
// service control manager. The first argument picks its behaviour:
//   (none)         starts, runs until stopped
//   --hang-start   reports "start pending" forever with a growing checkpoint
//   --refuse-stop  runs but does not accept the stop control
#include <windows.h>

#include <cwchar>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
SERVICE_STATUS g_current{};
HANDLE g_stopEvent = nullptr;
enum class Mode { Normal, HangStart, RefuseStop } g_mode = Mode::Normal;

void Report(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0) {
  g_current.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_current.dwCurrentState = state;
  g_current.dwControlsAccepted =
      (state == SERVICE_RUNNING && g_mode != Mode::RefuseStop) ? SERVICE_ACCEPT_STOP : 0;
  g_current.dwWin32ExitCode = NO_ERROR;
  g_current.dwCheckPoint = checkPoint;
  g_current.dwWaitHint = waitHint;
  SetServiceStatus(g_status, &g_current);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1, 0);
    SetEvent(g_stopEvent);
    return NO_ERROR;
  }
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  g_status = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", Handler, nullptr);
  if (!g_status) return;
  g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_mode == Mode::HangStart) {
    for (DWORD cp = 1;; ++cp) {
      Report(SERVICE_START_PENDING, cp, 0);
      Sleep(50);
    }
  }
  Report(SERVICE_START_PENDING, 1, 0);
  Report(SERVICE_RUNNING);
  WaitForSingleObject(g_stopEvent, INFINITE);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!wcscmp(argv[i], L"--hang-start")) g_mode = Mode::HangStart;
    if (!wcscmp(argv[i], L"--refuse-stop")) g_mode = Mode::RefuseStop;
  }
  wchar_t name[] = L"";
  const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
