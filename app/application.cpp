#include "app/application.h"

#include <commctrl.h>
#include <objbase.h>

#include "sysroutines/system_paths.h"
#include "ui/list_page.h"
#include "undo/backup_store.h"
#include "win32/message_loop.h"
#include "win32/system_error.h"
#include "win32/window.h"

namespace wl::app {

using ui::Page;
using ui::ListPageActionScope;
using ui::DialogActionScope;

namespace {

// The hidden top-level window by which another start finds this instance.
class ApplicationWindow : public win32::Window {
 public:
  bool Create() {
    win32::WindowClass cls;
    cls.name = kApplicationClass;
    return CreateWindowOf(cls, WS_EX_TOOLWINDOW, kApplicationTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr) !=
           nullptr;
  }
};

}  // namespace

Application::Application(MainOptions options)
    : main_(std::move(options)), spywareImmunize_(main_.Tables()), siteImmunize_(main_.Tables()) {}

Application::~Application() { win32::SetMessageFilter(nullptr); }

bool Application::CreateWindows() {
  if (!main_.Create()) return false;
  startupSetup_.Create(main_.hwnd());
  spywareImmunize_.Create(main_.hwnd());
  siteImmunize_.Create(main_.hwnd());
  main_.AttachDialogs(&startupSetup_, &spywareImmunize_, &siteImmunize_);
  win32::SetMessageFilter([this](MSG& msg) { return main_.PreTranslate(msg); });
  return true;
}

int WardenlakeMain() {
  // Single-instance rule. The check runs before this instance owns its own
  // window, so that it never finds itself.
  if (FindWindowW(kApplicationClass, kApplicationTitle)) return 0;
  ApplicationWindow appWindow;
  appWindow.Create();

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  int exitCode = 1;
  {
    // Every change the program makes is backed up first.
    undo::ScopedBackupRecording backups;
    Application app;
    // The elevated copy must not take this instance for one already running:
    // the window it looks for loses its title while the copy starts.
    app.Main().runAsAdministrator = [&appWindow](std::string* error) {
      SetWindowTextW(appWindow.hwnd(), L"");
      uint32_t code = 0;
      if (StartProgramElevated(OwnProgramPath(), &code)) return true;
      SetWindowTextW(appWindow.hwnd(), kApplicationTitle);
      if (error) *error = code == ERROR_CANCELLED ? std::string() : win32::SystemErrorText(code);
      return false;
    };
    // One change set per page action, named after the page's navigation item,
    // and per dialog action (the dialogs made ready at start-up included).
    ListPageActionScope() = [&form = app.Main()](const Page& page, const std::string& action) {
      return std::static_pointer_cast<void>(std::make_shared<undo::ChangeSet>(form.PageCaption(page), action));
    };
    DialogActionScope() = [](const std::string& title, const std::string& action) {
      return std::static_pointer_cast<void>(std::make_shared<undo::ChangeSet>(title, action));
    };
    if (app.CreateWindows() && !app.Main().TerminateRequested()) {
      ShowWindow(app.Main().hwnd(), SW_SHOWNORMAL);
      UpdateWindow(app.Main().hwnd());
      exitCode = win32::RunMessageLoop();
    }
    ListPageActionScope() = nullptr;
    DialogActionScope() = nullptr;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

}  // namespace wl::app
