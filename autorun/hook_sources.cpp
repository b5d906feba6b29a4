#include "autorun/hook_sources.h"

#include <array>
#include <unordered_map>

#include "core/ascii.h"
#include "sysroutines/text_routines.h"

namespace wl {
namespace {

constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegViews kBoth = RegViews::Both;
constexpr RegViews kNative = RegViews::Native;
constexpr HookValues kStrings = HookValues::Strings;
constexpr HookValues kAny = HookValues::Any;
constexpr HookValues kNamed = HookValues::Named;
constexpr HookRemoval kRestore = HookRemoval::RestoreDefault;
constexpr HookRemoval kDeleteKey = HookRemoval::DeleteKey;
constexpr HookFlag kAlways = HookFlag::Always;
constexpr HookText kPath = HookText::Path;
constexpr HookText kModule = HookText::Module;
constexpr ValueSplit kMulti = ValueSplit::MultiString;
constexpr ValueSplit kCommas = ValueSplit::Commas;
constexpr ValueSplit kCommasBlanks = ValueSplit::CommasBlanks;

#define WL_CV "\\Software\\Microsoft\\Windows\\CurrentVersion\\"
#define WL_NT "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
#define WL_CCS "\\System\\CurrentControlSet\\"

constexpr const char* kWinlogon = WL_NT "Winlogon\\";
constexpr const char* kPolicyRun = WL_CV "Policies\\Explorer\\Run\\";
constexpr const char* kCommandProcessor = "\\Software\\Microsoft\\Command Processor\\";
constexpr const char* kShellDefaults = "explorer.exe|%windir%\\explorer.exe";
constexpr const char* kUserinitDefaults = "userinit.exe|%windir%\\system32\\userinit.exe";
constexpr const char* kEnvironmentHooks =
    "UserInitMprLogonScript|COR_ENABLE_PROFILING|COR_PROFILER|COR_PROFILER_PATH|COR_PROFILER_PATH_32|"
    "COR_PROFILER_PATH_64|CORECLR_ENABLE_PROFILING|CORECLR_PROFILER|CORECLR_PROFILER_PATH|DOTNET_STARTUP_HOOKS|"
    "APPX_PROCESS";
constexpr const char* kSecurityPackages =
    "\"\"|kerberos|msv1_0|schannel|wdigest|tspkg|pku2u|cloudAP|negoexts|livessp|msoidssp|pku2u";
constexpr const char* kLsa = WL_CCS "Control\\Lsa\\";
constexpr const char* kSessionManager = WL_CCS "Control\\Session Manager\\";
constexpr const char* kOpenCommand = "\"%1\" %*";

// What Windows starts in safe mode: the keys under SafeBoot\Minimal (and,
// with networking, these and more under SafeBoot\Network) a clean system
// has. Another key there is listed; its service's program is judged.
#define WL_SAFEBOOT_MINIMAL                                                                                     \
  "{36FC9E60-C465-11CF-8056-444553540000}|{4D36E965-E325-11CE-BFC1-08002BE10318}|"                             \
  "{4D36E967-E325-11CE-BFC1-08002BE10318}|{4D36E969-E325-11CE-BFC1-08002BE10318}|"                             \
  "{4D36E96A-E325-11CE-BFC1-08002BE10318}|{4D36E96B-E325-11CE-BFC1-08002BE10318}|"                             \
  "{4D36E96F-E325-11CE-BFC1-08002BE10318}|{4D36E977-E325-11CE-BFC1-08002BE10318}|"                             \
  "{4D36E97B-E325-11CE-BFC1-08002BE10318}|{4D36E97D-E325-11CE-BFC1-08002BE10318}|"                             \
  "{4D36E980-E325-11CE-BFC1-08002BE10318}|{533C5B84-EC70-11D2-9505-00C04F79DEAF}|"                             \
  "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}|{71A27CDD-812A-11D0-BEC7-08002BE2092F}|"                             \
  "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}|{D48179BE-EC20-11D1-B6B8-00C04FA372A7}|"                             \
  "{D94EE5D8-D189-4994-83D2-F68D7D41B0E6}|{A0A588A4-C46F-4B37-B7EA-C82FE89870C6}|"                             \
  "{50DD5230-BA8A-11D1-BF5D-0000F805F530}|{6D807884-7D21-11CF-801C-08002BE10318}|"                             \
  "{8ECC055D-047F-11D1-A537-0000F8753ED1}|{E0CBF06C-CD8B-4647-BB8A-263B43F0F974}|"                             \
  "AppInfo|AppMgmt|Base|Boot Bus Extender|Boot file system|BrokerInfrastructure|CryptSvc|DcomLaunch|"          \
  "dmadmin|dmboot.sys|dmio.sys|dmload.sys|dmserver|EFS|EventLog|File system|Filter|HelpSvc|KeyIso|LSM|"      \
  "MsMpSvc|NTDS|PCI Configuration|PlugPlay|PNP Filter|Power|Primary disk|ProfSvc|RpcEptMapper|RpcSs|"        \
  "sacsvr|SCSI Class|SecurityHealthService|Sense|sermouse.sys|SWPRV|System Bus Extender|SystemEventsBroker|" \
  "TabletInputService|TBS|TrustedInstaller|vds|vga.sys|vgasave.sys|VirtualDiskService|volmgr|volmgrx|"       \
  "VolSnap|WdBoot|WdFilter|WdNisDrv|WdNisSvc|Wdf01000.sys|WinDefend|WinMgmt|wscsvc"
constexpr const char* kSafeBootMinimal = WL_SAFEBOOT_MINIMAL;
constexpr const char* kSafeBootNetwork =
    WL_SAFEBOOT_MINIMAL
    "|{4D36E972-E325-11CE-BFC1-08002BE10318}|{4D36E973-E325-11CE-BFC1-08002BE10318}|"
    "{4D36E974-E325-11CE-BFC1-08002BE10318}|{4D36E975-E325-11CE-BFC1-08002BE10318}|"
    "AFD|BFE|Browser|Dhcp|DnsCache|Dot3svc|EapHost|Gpsvc|IKEEXT|ipnat.sys|LanmanServer|LanmanWorkstation|"
    "LmHosts|mpsdrv|MpsSvc|mrxsmb|mrxsmb10|mrxsmb20|Mup|Ndis|NDIS Wrapper|Ndisuio|NetBIOS|NetBIOSGroup|"
    "NetBT|NetDDEGroup|Netlogon|NetMan|netprofm|Network|NetworkProvider|NlaSvc|nsi|nsiproxy|PNP_TDI|"
    "rdbss|rdpcdd.sys|rdpdd.sys|rdpencdd.sys|rdpwd.sys|rdsessmgr|SharedAccess|Streams Drivers|Tcpip|"
    "TDI|tdpipe.sys|tdtcp.sys|Tdx|termdd.sys|TermService|UmPass|Wlansvc|WudfPf|WudfSvc|"
    "WudfUsbccidDriver|wuauserv|Wudfrd";
#undef WL_SAFEBOOT_MINIMAL
constexpr const char* kShellex = "\\Software\\Classes\\AllFilesystemObjects\\shellex\\*\\*\\";
constexpr const char* kOfficeAddins = "\\Software\\Microsoft\\Office\\*\\Addins\\*\\";

// The places, in scan order. Sources 1 to 21 read some of the same keys
// (Run, RunOnce, Winlogon): a row both list is listed once.
constexpr HookSource kHooks[] = {
    // Winlogon: the shell and the logon program, lists Windows reads at logon.
    {.number = 23, .category = "Winlogon", .root = LM, .keyPath = kWinlogon, .views = kBoth, .values = kNamed,
     .valueNames = "Shell", .split = kCommas, .flag = kAlways, .defaults = kShellDefaults, .removal = kRestore,
     .restore = "explorer.exe"},
    {.number = 24, .category = "Winlogon", .root = LM, .keyPath = kWinlogon, .views = kBoth, .values = kNamed,
     .valueNames = "Userinit", .split = kCommas, .flag = kAlways, .defaults = kUserinitDefaults,
     .removal = kRestore, .restore = "%windir%\\system32\\userinit.exe,"},
    {.number = 25, .category = "Winlogon", .root = CU, .keyPath = kWinlogon, .views = kNative, .values = kNamed,
     .valueNames = "Shell", .split = kCommas, .flag = kAlways, .defaults = kShellDefaults, .removal = kRestore,
     .restore = "explorer.exe"},
    {.number = 26, .category = "Winlogon", .root = CU, .keyPath = kWinlogon, .views = kNative, .values = kNamed,
     .valueNames = "Userinit", .split = kCommas, .flag = kAlways, .defaults = kUserinitDefaults,
     .removal = kRestore, .restore = "%windir%\\system32\\userinit.exe,"},
    {.number = 27, .category = "AppInit", .root = LM, .keyPath = WL_NT "Windows\\", .views = kBoth,
     .values = kNamed, .valueNames = "AppInit_DLLs", .split = kCommasBlanks, .text = kPath, .flag = kAlways,
     .removal = kRestore, .restore = "", .detailValue = "LoadAppInit_DLLs"},
    {.number = 28, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "Image File Execution Options\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "Debugger", .flag = kAlways},
    {.number = 29, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "SilentProcessExit\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "MonitorProcess", .flag = kAlways},
    {.number = 30, .category = "Logon", .root = LM, .keyPath = kPolicyRun, .views = kBoth, .values = kStrings},
    {.number = 31, .category = "Logon", .root = CU, .keyPath = kPolicyRun, .views = kNative, .values = kStrings},
    {.number = 32, .category = "Logon", .root = LM, .keyPath = kCommandProcessor, .views = kBoth, .values = kNamed,
     .valueNames = "AutoRun"},
    {.number = 33, .category = "Logon", .root = CU, .keyPath = kCommandProcessor, .views = kNative,
     .values = kNamed, .valueNames = "AutoRun"},
    {.number = 34, .category = "Logon", .root = LM,
     .keyPath = "\\Software\\Microsoft\\Active Setup\\Installed Components\\*\\", .views = kBoth, .values = kNamed,
     .valueNames = "StubPath", .titled = true},
    {.number = 35, .category = "Logon", .root = LM,
     .keyPath = WL_NT "Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\", .views = kBoth,
     .values = kStrings},
    {.number = 36, .category = "Logon", .root = LM,
     .keyPath = WL_NT "Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\",
     .views = kBoth, .values = kStrings},

    // The Run keys completely: every string type, and any data in the
    // run-once keys (a command need not begin with a drive).
    {.number = 37, .category = "Logon", .root = CU, .keyPath = WL_CV "Run\\", .views = kNative, .values = kStrings},
    {.number = 38, .category = "Logon", .root = LM, .keyPath = WL_CV "Run\\", .views = kBoth, .values = kStrings},
    {.number = 39, .category = "Logon", .root = CU, .keyPath = WL_CV "RunOnce\\", .views = kNative, .values = kAny},
    {.number = 40, .category = "Logon", .root = LM, .keyPath = WL_CV "RunOnce\\", .views = kBoth, .values = kAny},
    {.number = 41, .category = "Logon", .root = CU, .keyPath = WL_CV "RunServicesOnce\\", .views = kNative,
     .values = kAny},
    {.number = 42, .category = "Logon", .root = LM, .keyPath = WL_CV "RunServicesOnce\\", .views = kBoth,
     .values = kAny},
    {.number = 43, .category = "Logon", .root = CU, .keyPath = WL_CV "RunServices\\", .views = kNative,
     .values = kAny},
    {.number = 44, .category = "Logon", .root = LM, .keyPath = WL_CV "RunServices\\", .views = kBoth,
     .values = kAny},
    {.number = 45, .category = "Logon", .root = CU, .keyPath = WL_CV "RunOnceEx\\", .views = kNative,
     .values = kAny},
    {.number = 46, .category = "Logon", .root = LM, .keyPath = WL_CV "RunOnceEx\\", .views = kBoth, .values = kAny},
    {.number = 47, .category = "Logon", .root = CU, .keyPath = WL_CV "RunOnceEx\\*\\", .views = kNative,
     .values = kAny},
    {.number = 48, .category = "Logon", .root = LM, .keyPath = WL_CV "RunOnceEx\\*\\", .views = kBoth,
     .values = kAny},
    {.number = 49, .category = "Logon", .root = CU, .keyPath = WL_CV "RunOnceEx\\*\\Depend\\", .views = kNative,
     .values = kAny},
    {.number = 50, .category = "Logon", .root = LM, .keyPath = WL_CV "RunOnceEx\\*\\Depend\\", .views = kBoth,
     .values = kAny},
    {.number = 51, .category = "Logon", .root = CU, .keyPath = WL_CV "RunEx\\", .views = kNative, .values = kAny},
    {.number = 52, .category = "Logon", .root = LM, .keyPath = WL_CV "RunEx\\", .views = kBoth, .values = kAny},
    // The "Load" and "Run" values of the user's Windows key: programs
    // separated by blanks or commas.
    {.number = 53, .category = "Logon", .root = CU, .keyPath = WL_NT "Windows\\", .views = kNative,
     .values = kNamed, .valueNames = "Load|Run", .split = kCommasBlanks, .flag = kAlways},
    {.number = 54, .category = "Winlogon", .root = CU, .keyPath = WL_CV "Policies\\System\\", .views = kNative,
     .values = kNamed, .valueNames = "Shell", .flag = kAlways},
    {.number = 55, .category = "Winlogon", .root = LM, .keyPath = WL_CV "Policies\\System\\", .views = kBoth,
     .values = kNamed, .valueNames = "Shell", .flag = kAlways},
    {.number = 56, .category = "Winlogon", .root = LM, .keyPath = kWinlogon, .views = kBoth, .values = kNamed,
     .valueNames = "Taskman|AppSetup|GinaDLL|mpnotify", .flag = kAlways},
    {.number = 57, .category = "Winlogon", .root = LM, .keyPath = kWinlogon, .views = kBoth, .values = kNamed,
     .valueNames = "VmApplet", .flag = kAlways,
     .defaults = "SystemPropertiesPerformance.exe /pagefile|rundll32 shell32,Control_RunDLL \"sysdm.cpl\"",
     .removal = kRestore, .restore = "SystemPropertiesPerformance.exe /pagefile"},
    {.number = 58, .category = "Winlogon", .root = LM, .keyPath = WL_NT "Winlogon\\Notify\\", .views = kBoth,
     .values = kStrings, .text = kPath, .flag = kAlways},
    {.number = 59, .category = "Winlogon", .root = LM, .keyPath = WL_NT "Winlogon\\Notify\\*\\", .views = kBoth,
     .values = kNamed, .valueNames = "DllName", .text = kModule, .flag = kAlways},
    {.number = 60, .category = "Winlogon", .root = LM, .keyPath = WL_NT "Winlogon\\GPExtensions\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "DllName", .text = kModule, .titled = true},

    // Environment variables that make programs load a file.
    {.number = 61, .category = "Environment", .root = CU, .keyPath = "\\Environment\\", .views = kNative,
     .values = kNamed, .valueNames = kEnvironmentHooks, .flag = kAlways},
    {.number = 62, .category = "Environment", .root = LM, .keyPath = WL_CCS "Control\\Session Manager\\Environment\\",
     .views = kNative, .values = kNamed, .valueNames = kEnvironmentHooks, .flag = kAlways},

    // LSA: packages the security subsystem loads, element by element.
    {.number = 63, .category = "LSA", .root = LM, .keyPath = kLsa, .views = kNative, .values = kNamed,
     .valueNames = "Authentication Packages", .split = kMulti, .text = kModule, .flag = kAlways,
     .defaults = "msv1_0", .removal = kRestore, .restore = "msv1_0"},
    {.number = 64, .category = "LSA", .root = LM, .keyPath = kLsa, .views = kNative, .values = kNamed,
     .valueNames = "Security Packages", .split = kMulti, .text = kModule, .flag = kAlways,
     .defaults = kSecurityPackages, .removal = kRestore, .restore = "\"\""},
    {.number = 65, .category = "LSA", .root = LM, .keyPath = kLsa, .views = kNative, .values = kNamed,
     .valueNames = "Notification Packages", .split = kMulti, .text = kModule, .flag = kAlways,
     .defaults = "scecli|rassfm", .removal = kRestore, .restore = "scecli"},
    {.number = 66, .category = "LSA", .root = LM, .keyPath = WL_CCS "Control\\Lsa\\OSConfig\\", .views = kNative,
     .values = kNamed, .valueNames = "Security Packages", .split = kMulti, .text = kModule, .flag = kAlways,
     .defaults = kSecurityPackages},
    {.number = 67, .category = "LSA", .root = LM, .keyPath = WL_CCS "Control\\LsaExtensionConfig\\LsaSrv\\",
     .views = kNative, .values = kNamed, .valueNames = "Extensions", .split = kMulti, .text = kModule,
     .defaults = "negoexts|pku2u|msv1_0|kerberos|schannel|wdigest|tspkg|cloudap|lsaadt|efslsaext"},
    {.number = 68, .category = "LSA", .root = LM, .keyPath = WL_CCS "Services\\NTDS\\", .views = kNative,
     .values = kNamed, .valueNames = "LsaDbExtPt", .text = kPath, .flag = kAlways},
    {.number = 69, .category = "LSA", .root = LM, .keyPath = WL_CCS "Control\\SecurityProviders\\",
     .views = kNative, .values = kNamed, .valueNames = "SecurityProviders", .split = kCommas, .text = kModule,
     .flag = kAlways, .defaults = "credssp|msapsspc|schannel|digest|msnsspc", .removal = kRestore,
     .restore = "credssp.dll"},

    // DLLs system services load by registration.
    {.number = 70, .category = "Print", .root = LM, .keyPath = WL_CCS "Control\\Print\\Monitors\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "Driver", .text = kModule},
    {.number = 71, .category = "Print", .root = LM,
     .keyPath = WL_CCS "Control\\Print\\Environments\\*\\Print Processors\\*\\", .views = kNative,
     .values = kNamed, .valueNames = "Driver", .text = kModule},
    {.number = 72, .category = "Services", .root = LM, .keyPath = WL_CCS "Services\\W32Time\\TimeProviders\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "DllName", .text = kModule},
    {.number = 73, .category = "Network", .root = LM, .keyPath = "\\Software\\Microsoft\\NetSh\\", .views = kBoth,
     .values = kStrings, .text = kModule},
    {.number = 74, .category = "Network", .root = LM, .keyPath = WL_CCS "Services\\WinSock2\\Parameters\\",
     .views = kNative, .values = kNamed, .valueNames = "AutodialDLL", .text = kModule, .flag = kAlways,
     .defaults = "rasadhlp", .removal = kRestore, .restore = "%windir%\\System32\\rasadhlp.dll"},
    {.number = 75, .category = "Network", .root = LM, .keyPath = WL_CCS "Services\\DNS\\Parameters\\",
     .views = kNative, .values = kNamed, .valueNames = "ServerLevelPluginDll", .text = kPath, .flag = kAlways},
    {.number = 76, .category = "Network", .root = LM, .keyPath = WL_CCS "Services\\*\\NetworkProvider\\",
     .views = kNative, .values = kNamed, .valueNames = "ProviderPath", .text = kPath},
    {.number = 77, .category = "AppInit", .root = LM, .keyPath = WL_CCS "Control\\Session Manager\\AppCertDlls\\",
     .views = kNative, .values = kAny, .text = kPath, .flag = kAlways},

    // Debuggers and error handlers: programs started when another one fails.
    {.number = 78, .category = "Debuggers", .root = LM, .keyPath = WL_NT "AeDebug\\", .views = kBoth,
     .values = kNamed, .valueNames = "Debugger"},
    {.number = 79, .category = "Debuggers", .root = LM,
     .keyPath = "\\Software\\Microsoft\\Windows\\Windows Error Reporting\\Hangs\\", .views = kBoth,
     .values = kNamed, .valueNames = "Debugger|ReflectDebugger", .flag = kAlways},
    {.number = 80, .category = "Debuggers", .root = LM, .keyPath = "\\Software\\Microsoft\\.NETFramework\\",
     .views = kBoth, .values = kNamed, .valueNames = "DbgManagedDebugger"},
    {.number = 81, .category = "Debuggers", .root = LM, .keyPath = WL_NT "AppCompatFlags\\TelemetryController\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "Command"},

    // Shims and the screen saver.
    {.number = 82, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "AppCompatFlags\\Custom\\*\\",
     .views = kBoth, .values = kAny, .flag = kAlways},
    {.number = 83, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "AppCompatFlags\\InstalledSDB\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "DatabasePath", .text = kPath, .flag = kAlways},
    {.number = 84, .category = "Logon", .root = CU, .keyPath = "\\Control Panel\\Desktop\\", .views = kNative,
     .values = kNamed, .valueNames = "SCRNSAVE.EXE", .text = kPath},
    {.number = 85, .category = "Logon", .root = CU,
     .keyPath = "\\Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop\\", .views = kNative,
     .values = kNamed, .valueNames = "SCRNSAVE.EXE", .text = kPath, .flag = kAlways},

    // Boot: native programs the session manager starts before anything else.
    {.number = 86, .category = "Boot", .root = LM, .keyPath = kSessionManager, .views = kNative, .values = kNamed,
     .valueNames = "BootExecute", .split = kMulti, .flag = kAlways, .defaults = "autocheck autochk *",
     .removal = kRestore, .restore = "autocheck autochk *"},
    {.number = 87, .category = "Boot", .root = LM, .keyPath = kSessionManager, .views = kNative, .values = kNamed,
     .valueNames = "SetupExecute|PlatformExecute|Execute", .split = kMulti, .flag = kAlways},
    {.number = 88, .category = "Boot", .root = LM, .keyPath = WL_CCS "Control\\BootVerificationProgram\\",
     .views = kNative, .values = kNamed, .valueNames = "ImagePath", .flag = kAlways},

    // Remote desktop: what a session starts instead of the shell or beside it.
    {.number = 89, .category = "Remote Desktop", .root = LM,
     .keyPath = WL_CCS "Control\\Terminal Server\\WinStations\\RDP-Tcp\\", .views = kNative, .values = kNamed,
     .valueNames = "InitialProgram", .flag = kAlways},
    {.number = 90, .category = "Remote Desktop", .root = LM,
     .keyPath = "\\Software\\Policies\\Microsoft\\Windows NT\\Terminal Services\\", .views = kBoth,
     .values = kNamed, .valueNames = "InitialProgram", .flag = kAlways},
    {.number = 91, .category = "Remote Desktop", .root = CU,
     .keyPath = "\\Software\\Policies\\Microsoft\\Windows NT\\Terminal Services\\", .views = kNative,
     .values = kNamed, .valueNames = "InitialProgram", .flag = kAlways},
    {.number = 92, .category = "Remote Desktop", .root = LM,
     .keyPath = WL_CCS "Control\\Terminal Server\\Wds\\rdpwd\\", .views = kNative, .values = kNamed,
     .valueNames = "StartupPrograms", .split = kCommas, .flag = kAlways, .defaults = "rdpclip",
     .removal = kRestore, .restore = "rdpclip"},
    {.number = 93, .category = "Remote Desktop", .root = CU,
     .keyPath = "\\Software\\Microsoft\\Terminal Server Client\\", .views = kNative, .values = kNamed,
     .valueNames = "ClxDllPath", .text = kPath, .flag = kAlways},
    {.number = 94, .category = "Remote Desktop", .root = CU,
     .keyPath = "\\Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\*\\", .views = kNative,
     .values = kNamed, .valueNames = "Name", .text = kPath, .flag = kAlways},
    {.number = 95, .category = "Remote Desktop", .root = LM,
     .keyPath = "\\Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\*\\", .views = kBoth,
     .values = kNamed, .valueNames = "Name", .text = kPath, .flag = kAlways},

    // COM: per-user classes over the machine's, and what the shell opens.
    {.number = 96, .category = "COM", .root = CU, .keyPath = "\\Software\\Classes\\CLSID\\*\\InprocServer32\\",
     .views = kNative, .values = kNamed, .valueNames = "", .text = kPath, .flag = HookFlag::OverridesMachine,
     .removal = kDeleteKey},
    {.number = 97, .category = "COM", .root = CU, .keyPath = "\\Software\\Classes\\CLSID\\*\\LocalServer32\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = HookFlag::OverridesMachine,
     .removal = kDeleteKey},
    {.number = 98, .category = "COM", .root = CU, .keyPath = "\\Software\\Classes\\CLSID\\*\\TreatAs\\",
     .views = kNative, .values = kNamed, .valueNames = "", .text = HookText::ClassId, .flag = kAlways,
     .removal = kDeleteKey},
    {.number = 99, .category = "COM", .root = CU, .keyPath = "\\Software\\Classes\\CLSID\\*\\ScriptletURL\\",
     .views = kNative, .values = kNamed, .valueNames = "", .text = kPath, .flag = kAlways, .removal = kDeleteKey},
    {.number = 100, .category = "COM", .root = LM, .keyPath = "\\Software\\Microsoft\\AMSI\\Providers\\*\\",
     .views = kBoth, .values = HookValues::KeyName, .text = HookText::ClassId, .removal = kDeleteKey},
    {.number = 101, .category = "Image Hijacks", .root = CU,
     .keyPath = "\\Software\\Classes\\mscfile\\shell\\open\\command\\", .views = kNative, .values = kNamed,
     .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 102, .category = "Image Hijacks", .root = CU,
     .keyPath = "\\Software\\Classes\\ms-settings\\shell\\open\\command\\", .views = kNative, .values = kNamed,
     .valueNames = "|DelegateExecute", .flag = kAlways, .removal = kDeleteKey},
    {.number = 103, .category = "Image Hijacks", .root = CU,
     .keyPath = "\\Software\\Classes\\exefile\\shell\\open\\command\\", .views = kNative, .values = kNamed,
     .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 104, .category = "Image Hijacks", .root = CU,
     .keyPath = "\\Software\\Classes\\Folder\\shell\\open\\command\\", .views = kNative, .values = kNamed,
     .valueNames = "|DelegateExecute", .flag = kAlways, .removal = kDeleteKey},
    {.number = 105, .category = "Image Hijacks", .root = LM,
     .keyPath = "\\Software\\Classes\\exefile\\shell\\open\\command\\", .views = kNative, .values = kNamed,
     .valueNames = "", .flag = kAlways, .defaults = kOpenCommand, .removal = kRestore, .restore = kOpenCommand},
    {.number = 106, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "Image File Execution Options\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "VerifierDlls", .split = kCommasBlanks, .text = kModule,
     .flag = kAlways},
    {.number = 107, .category = "Image Hijacks", .root = LM, .keyPath = WL_NT "Accessibility\\ATs\\*\\",
     .views = kBoth, .values = kNamed, .valueNames = "StartExe", .text = kPath},

    // Office's own start-up place.
    {.number = 108, .category = "Office", .root = CU, .keyPath = "\\Software\\Microsoft\\Office test\\Special\\Perf\\",
     .views = kNative, .values = kNamed, .valueNames = "", .text = kPath, .flag = kAlways},
    {.number = 109, .category = "Office", .root = LM, .keyPath = "\\Software\\Microsoft\\Office test\\Special\\Perf\\",
     .views = kBoth, .values = kNamed, .valueNames = "", .text = kPath, .flag = kAlways},

    // Logon scripts of group policy, and the Startup folders moved elsewhere.
    {.number = 110, .category = "Logon", .root = CU, .keyPath = WL_CV "Group Policy\\Scripts\\Logon\\*\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "Script"},
    {.number = 111, .category = "Logon", .root = LM, .keyPath = WL_CV "Group Policy\\Scripts\\Startup\\*\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "Script"},
    {.number = 112, .category = "Logon", .root = CU, .keyPath = WL_CV "Explorer\\User Shell Folders\\",
     .views = kNative, .values = kNamed, .valueNames = "Startup", .text = kPath, .flag = kAlways,
     .defaults = "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup|"
                 "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     .removal = kRestore, .restore = "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {.number = 113, .category = "Logon", .root = LM, .keyPath = WL_CV "Explorer\\User Shell Folders\\",
     .views = kNative, .values = kNamed, .valueNames = "Common Startup", .text = kPath, .flag = kAlways,
     .defaults = "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup|"
                 "%ALLUSERSPROFILE%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     .removal = kRestore, .restore = "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},

    // More of Windows' own lists and programs named by value.
    {.number = 114, .category = "Logon", .root = LM, .keyPath = WL_NT "Windows\\", .views = kBoth,
     .values = kNamed, .valueNames = "Load|Run", .split = kCommasBlanks, .flag = kAlways},
    {.number = 115, .category = "Explorer", .root = LM, .keyPath = WL_NT "Windows\\", .views = kBoth,
     .values = kNamed, .valueNames = "IconServiceLib", .text = kModule, .flag = kAlways,
     .defaults = "IconCodecService", .removal = kRestore, .restore = "IconCodecService.dll"},
    {.number = 116, .category = "Explorer", .root = CU, .keyPath = "\\Control Panel\\Cpls\\", .views = kNative,
     .values = kStrings, .text = kPath},
    {.number = 117, .category = "Explorer", .root = LM, .keyPath = WL_CV "Control Panel\\Cpls\\", .views = kBoth,
     .values = kStrings, .text = kPath},
    {.number = 118, .category = "Environment", .root = CU, .keyPath = "\\Environment\\", .views = kNative,
     .values = kNamed, .valueNames = "windir|SystemRoot|PSModulePath", .flag = kAlways},
    {.number = 119, .category = "Boot", .root = LM, .keyPath = WL_CCS "Control\\SafeBoot\\", .views = kNative,
     .values = kNamed, .valueNames = "AlternateShell", .flag = kAlways, .defaults = "cmd.exe", .removal = kRestore,
     .restore = "cmd.exe"},
    {.number = 120, .category = "Boot", .root = LM, .keyPath = "\\System\\Setup\\", .views = kNative,
     .values = kNamed, .valueNames = "CmdLine", .flag = kAlways},
    {.number = 121, .category = "Debuggers", .root = LM, .keyPath = WL_NT "Event Viewer\\", .views = kBoth,
     .values = kNamed, .valueNames = "MicrosoftRedirectionProgram"},
    {.number = 122, .category = "Logon", .root = CU,
     .keyPath = "\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\Logon\\*\\*\\", .views = kNative,
     .values = kNamed, .valueNames = "Script"},
    {.number = 123, .category = "Logon", .root = LM,
     .keyPath = "\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\Startup\\*\\*\\", .views = kNative,
     .values = kNamed, .valueNames = "Script"},
    {.number = 124, .category = "Explorer", .root = LM, .keyPath = WL_CV "App Paths\\*\\", .views = kBoth,
     .values = kNamed, .valueNames = ""},
    {.number = 125, .category = "Explorer", .root = CU, .keyPath = WL_CV "App Paths\\*\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = HookFlag::OverridesMachine},
    {.number = 126, .category = "Explorer", .root = LM, .keyPath = WL_CV "Explorer\\MyComputer\\*\\", .views = kBoth,
     .values = kNamed, .valueNames = ""},
    {.number = 127, .category = "Explorer", .root = CU, .keyPath = "\\Software\\Classes\\Directory\\Background\\shell\\*\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 128, .category = "Explorer", .root = LM, .keyPath = "\\Software\\Classes\\Directory\\Background\\shell\\*\\command\\",
     .views = kNative, .values = kNamed, .valueNames = ""},

    // The user's own open commands for the kinds of file that run.
    {.number = 129, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\htafile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 130, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\batfile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 131, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\cmdfile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 132, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\comfile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 133, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\scrfile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 134, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\piffile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 135, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\VBSFile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 136, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\JSFile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},
    {.number = 137, .category = "Image Hijacks", .root = CU, .keyPath = "\\Software\\Classes\\lnkfile\\shell\\open\\command\\",
     .views = kNative, .values = kNamed, .valueNames = "", .flag = kAlways, .removal = kDeleteKey},

    // A kind of file that runs, pointed at another class (".hta" opened as text).
    {.number = 138, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.hta\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "htafile", .removal = kRestore, .restore = "htafile"},
    {.number = 139, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.exe\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "exefile", .removal = kRestore, .restore = "exefile"},
    {.number = 140, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.bat\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "batfile", .removal = kRestore, .restore = "batfile"},
    {.number = 141, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.cmd\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "cmdfile", .removal = kRestore, .restore = "cmdfile"},
    {.number = 142, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.com\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "comfile", .removal = kRestore, .restore = "comfile"},
    {.number = 143, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.scr\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "scrfile", .removal = kRestore, .restore = "scrfile"},
    {.number = 144, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.js\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "JSFile", .removal = kRestore, .restore = "JSFile"},
    {.number = 145, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.vbs\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "VBSFile", .removal = kRestore, .restore = "VBSFile"},
    {.number = 146, .category = "Image Hijacks", .root = LM, .keyPath = "\\Software\\Classes\\.lnk\\", .views = kNative,
     .values = kNamed, .valueNames = "", .flag = kAlways, .defaults = "lnkfile", .removal = kRestore, .restore = "lnkfile"},

    // Office: add-ins Excel opens at start, and a start-up folder moved elsewhere.
    {.number = 147, .category = "Office", .root = CU, .keyPath = "\\Software\\Microsoft\\Office\\*\\Excel\\Options\\",
     .views = kNative, .values = kNamed, .valueNames = "OPEN*", .text = kPath, .flag = kAlways},
    {.number = 148, .category = "Office", .root = CU, .keyPath = "\\Software\\Microsoft\\Office\\*\\Word\\Options\\",
     .views = kNative, .values = kNamed, .valueNames = "STARTUP-PATH", .text = kPath, .flag = kAlways},
    {.number = 149, .category = "Office", .root = CU, .keyPath = "\\Software\\Microsoft\\Office\\*\\Excel\\Options\\",
     .views = kNative, .values = kNamed, .valueNames = "STARTUP-PATH|AltStartup", .text = kPath, .flag = kAlways},

    // Helpers and hooks named by their values' names.
    {.number = 174, .category = "Debuggers", .root = LM,
     .keyPath = "\\Software\\Microsoft\\Windows\\Windows Error Reporting\\RuntimeExceptionHelperModules\\",
     .views = kBoth, .values = HookValues::ValueNames, .text = kPath, .flag = kAlways},
    {.number = 175, .category = "Explorer", .root = LM, .keyPath = WL_CV "Explorer\\ShellExecuteHooks\\",
     .views = kBoth, .values = HookValues::ValueNames, .text = HookText::ClassId},
    {.number = 176, .category = "Explorer", .root = LM, .keyPath = WL_CV "Explorer\\SharedTaskScheduler\\",
     .views = kBoth, .values = HookValues::ValueNames, .text = HookText::ClassId},
    {.number = 177, .category = "Winlogon", .root = LM, .keyPath = WL_NT "Winlogon\\AlternateShells\\AvailableShells\\",
     .views = kBoth, .values = kStrings},
    {.number = 178, .category = "Print", .root = LM, .keyPath = WL_CCS "Control\\Print\\Providers\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "Name", .text = kModule},
    {.number = 179, .category = "Services", .root = LM, .keyPath = WL_CCS "Control\\ContentIndex\\Language\\*\\",
     .views = kNative, .values = kNamed, .valueNames = "StemmerDLLPathOverride|WBDLLPathOverride", .text = kPath,
     .flag = kAlways},

    // Shell extensions every file and folder loads (context menus, property
    // sheets, copy hooks): the handler's class names its server.
    {.number = 204, .category = "Explorer", .root = CU, .keyPath = kShellex, .views = kNative,
     .values = HookValues::DefaultOrKeyName, .text = HookText::ClassId, .removal = kDeleteKey},
    {.number = 205, .category = "Explorer", .root = LM, .keyPath = kShellex, .views = kBoth,
     .values = HookValues::DefaultOrKeyName, .text = HookText::ClassId, .removal = kDeleteKey},
    {.number = 206, .category = "Explorer", .root = CU,
     .keyPath = "\\Software\\Classes\\Wow6432Node\\AllFilesystemObjects\\shellex\\*\\*\\", .views = kNative,
     .values = HookValues::DefaultOrKeyName, .text = HookText::ClassId, .removal = kDeleteKey},
    // Office's COM add-ins: every application loads the ones registered with a
    // LoadBehavior.
    {.number = 207, .category = "Office", .root = CU, .keyPath = kOfficeAddins, .views = kNative,
     .values = HookValues::KeyName, .text = HookText::ProgId, .removal = kDeleteKey, .detailValue = "LoadBehavior",
     .requiredValue = "LoadBehavior"},
    {.number = 208, .category = "Office", .root = LM, .keyPath = kOfficeAddins, .views = kBoth,
     .values = HookValues::KeyName, .text = HookText::ProgId, .removal = kDeleteKey, .detailValue = "LoadBehavior",
     .requiredValue = "LoadBehavior"},
    // Services and drivers started in safe mode beside Windows' own.
    {.number = 209, .category = "Services", .root = LM, .keyPath = WL_CCS "Control\\SafeBoot\\Minimal\\*\\",
     .views = kNative, .values = HookValues::KeyName, .text = HookText::ServiceName, .defaults = kSafeBootMinimal,
     .removal = kDeleteKey},
    {.number = 210, .category = "Services", .root = LM, .keyPath = WL_CCS "Control\\SafeBoot\\Network\\*\\",
     .views = kNative, .values = HookValues::KeyName, .text = HookText::ServiceName, .defaults = kSafeBootNetwork,
     .removal = kDeleteKey},
};

constexpr HookFlag kJudge = HookFlag::Judge;
constexpr FileCheck kPresent = FileCheck::Present;
constexpr FileCheck kNotItsName = FileCheck::NotItsName;

constexpr FilePlace kFiles[] = {
    // The accessibility programs the logon screen starts: another program
    // under their name opens a back door before anyone logs on.
    {180, "Image Hijacks", FileFolder::System, "sethc.exe", kNotItsName, kAlways, "sethc.exe"},
    {181, "Image Hijacks", FileFolder::System, "utilman.exe", kNotItsName, kAlways, "utilman.exe|utilman2.exe"},
    {182, "Image Hijacks", FileFolder::System, "osk.exe", kNotItsName, kAlways, "osk.exe"},
    {183, "Image Hijacks", FileFolder::System, "Magnify.exe", kNotItsName, kAlways, "magnify.exe|screenmagnifier.exe"},
    {184, "Image Hijacks", FileFolder::System, "Narrator.exe", kNotItsName, kAlways, "narrator.exe|sr.exe"},
    {185, "Image Hijacks", FileFolder::System, "DisplaySwitch.exe", kNotItsName, kAlways, "displayswitch.exe"},
    {186, "Image Hijacks", FileFolder::System, "AtBroker.exe", kNotItsName, kAlways, "atbroker.exe"},
    // DLLs services load by name that Windows does not ship: whoever puts
    // one there runs inside the service.
    {187, "Services", FileFolder::System, "wlbsctrl.dll", kPresent, kAlways},
    {188, "Services", FileFolder::System, "TSMSISrv.dll", kPresent, kAlways},
    {189, "Services", FileFolder::System, "TSVIPSrv.dll", kPresent, kAlways},
    {190, "Services", FileFolder::System, "wow64log.dll", kPresent, kAlways},
    {191, "Services", FileFolder::System, "ualapi.dll", kPresent, kAlways},
    {192, "Services", FileFolder::System, "cdpsgshims.dll", kPresent, kAlways},
    {193, "Services", FileFolder::System, "WinAppXRT.dll", kPresent, kAlways},
    {194, "Services", FileFolder::System, "oci.dll", kPresent, kAlways},
    // Set-up's error handler and PowerShell's profiles run with every start
    // of their host.
    {195, "Debuggers", FileFolder::Windows, "Setup\\Scripts\\ErrorHandler.cmd", kPresent, kAlways},
    {196, "Logon", FileFolder::System, "WindowsPowerShell\\v1.0\\profile.ps1", kPresent, kJudge},
    {197, "Logon", FileFolder::System, "WindowsPowerShell\\v1.0\\Microsoft.PowerShell_profile.ps1", kPresent, kJudge},
    {198, "Logon", FileFolder::Documents, "WindowsPowerShell\\profile.ps1", kPresent, kJudge},
    {199, "Logon", FileFolder::Documents, "WindowsPowerShell\\Microsoft.PowerShell_profile.ps1", kPresent, kJudge},
    {200, "Logon", FileFolder::Documents, "PowerShell\\profile.ps1", kPresent, kJudge},
    {201, "Logon", FileFolder::Documents, "PowerShell\\Microsoft.PowerShell_profile.ps1", kPresent, kJudge},
    // Office's start-up folders: every file there is opened with the program.
    {202, "Office", FileFolder::AppData, "Microsoft\\Word\\STARTUP", FileCheck::EveryFile, kAlways},
    {203, "Office", FileFolder::AppData, "Microsoft\\Excel\\XLSTART", FileCheck::EveryFile, kAlways},
};

#undef WL_CV
#undef WL_NT
#undef WL_CCS


std::string Trimmed(std::string_view text) { return TrimUpToChar(text, ' '); }

std::string QuotedWhenBlank(const std::string& command) {
  if (command.find(' ') == std::string::npos || command.starts_with('"')) return command;
  return "\"" + command + "\"";
}

}  // namespace

std::span<const HookSource> HookSources() {
  return kHooks;
}

std::span<const FilePlace> FilePlaces() { return kFiles; }

bool IsOwnName(const FilePlace& place, std::string_view originalName) {
  std::string name = AsciiUpper(Trimmed(originalName));
  if (name.ends_with(".MUI")) name.resize(name.size() - 4);
  if (name.empty()) return false;
  std::string_view rest = place.names;
  while (!rest.empty()) {
    const auto bar = rest.find('|');
    if (AsciiUpper(rest.substr(0, bar)) == name) return true;
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  return false;
}

std::vector<std::string> HookKeyPaths(const HookSource& source) {
  std::vector<std::string> paths{std::string(source.keyPath)};
  constexpr std::string_view kSoftware = "\\Software\\";
  if (source.views == RegViews::Both && source.root == RegRoot::LocalMachine &&
      source.keyPath.starts_with(kSoftware))
    paths.push_back(std::string(kSoftware) + "Wow6432Node\\" + std::string(source.keyPath.substr(kSoftware.size())));
  return paths;
}

std::string HookKeyText(RegRoot root, std::string_view keyPath) {
  return std::string(root == RegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
         std::string(keyPath);
}

std::vector<std::string> HookValueNames(const HookSource& source) {
  std::vector<std::string> names;
  if (source.values != HookValues::Named) return names;
  std::string_view rest = source.valueNames;
  for (;;) {
    const auto bar = rest.find('|');
    names.emplace_back(rest.substr(0, bar));
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  return names;
}

namespace {

// An element as the defaults are compared: upper case, blanks trimmed and
// runs of them made one, surrounding quotes gone, the Windows directory
// spelled "%WINDIR%"; a module also with its folder and ".DLL" made plain.
std::string Canonical(std::string_view element, std::string_view windowsDir, bool module) {
  std::string text = AsciiUpper(Trimmed(element));
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
      text.find('"', 1) == text.size() - 1)
    text = AsciiUpper(Trimmed(std::string_view(text).substr(1, text.size() - 2)));
  std::string collapsed;
  for (char c : text)
    if (c != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += c;
  text = std::move(collapsed);
  for (const std::string& spelled : {AsciiUpper(windowsDir), std::string("%SYSTEMROOT%"), std::string("%WINDIR%")}) {
    if (spelled.empty() || !text.starts_with(spelled)) continue;
    if (text.size() > spelled.size() && text[spelled.size()] != '\\') continue;
    text = "%WINDIR%" + text.substr(spelled.size());
    break;
  }
  if (module) {
    if (text.find('\\') == std::string::npos && !text.empty()) text = "%WINDIR%\\SYSTEM32\\" + text;
    if (text.ends_with(".DLL")) text.resize(text.size() - 4);
  }
  return text;
}

bool IsSeparator(ValueSplit split, char c) {
  switch (split) {
    case ValueSplit::Commas: return c == ',';
    case ValueSplit::CommasBlanks: return c == ',' || c == ' ' || c == '\t';
    case ValueSplit::Semicolons: return c == ';';
    default: return false;
  }
}

}  // namespace

std::string HookDefaultValue(const HookSource& source, std::string_view windowsDir) {
  std::string text(source.restore);
  if (AsciiUpper(text).starts_with("%WINDIR%")) text = std::string(windowsDir) + text.substr(8);
  return text;
}

bool IsHookDefault(const HookSource& source, std::string_view element, std::string_view windowsDir) {
  const bool module = source.text == HookText::Module;
  const std::string text = Canonical(element, windowsDir, module);
  std::string_view rest = source.defaults;
  while (!rest.empty()) {
    const auto bar = rest.find('|');
    if (Canonical(rest.substr(0, bar), windowsDir, module) == text) return true;
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  return false;
}

std::string ModulePath(std::string_view name, std::string_view windowsDir) {
  std::string text = Trimmed(name);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (text.empty() || text.find('\\') != std::string::npos || text.find('/') != std::string::npos) return text;
  if (text.find('.') == std::string::npos) text += ".dll";
  return std::string(windowsDir) + "\\system32\\" + text;
}

std::vector<std::string> SplitHookList(ValueSplit split, std::string_view text) {
  std::vector<std::string> elements;
  if (split == ValueSplit::Whole || split == ValueSplit::MultiString) {
    if (!Trimmed(text).empty()) elements.push_back(std::string(text));
    return elements;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(split, text[i])) continue;
    std::string element = Trimmed(text.substr(start, i - start));
    if (!element.empty()) elements.push_back(std::move(element));
    start = i + 1;
  }
  return elements;
}

std::optional<std::string> ListWithout(ValueSplit split, std::string_view text, std::string_view element) {
  const std::string wanted = AsciiUpper(Trimmed(element));
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(split, text[i])) continue;
    const std::string part = AsciiUpper(Trimmed(text.substr(start, i - start)));
    if (!part.empty() && part == wanted) {
      const std::size_t from = start;
      std::size_t to = i;
      if (to < text.size()) {
        ++to;  // the separator after it, and blanks before the next element
        while (to < text.size() && text[to] == ' ') ++to;
      }
      // The last element: the separator before it stays ("userinit.exe,"
      // is how Windows writes its own list), blanks do not.
      std::string rest = std::string(text.substr(0, from)) + std::string(text.substr(to));
      while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
      return rest;
    }
    start = i + 1;
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> ElementsWithout(const std::vector<std::string>& elements,
                                                        std::string_view element) {
  const std::string wanted = AsciiUpper(Trimmed(element));
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (AsciiUpper(Trimmed(elements[i])) != wanted) continue;
    std::vector<std::string> rest = elements;
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
    return rest;
  }
  return std::nullopt;
}

std::string DriverImagePath(std::string_view imagePath, std::string_view serviceName, std::string_view windowsDir) {
  std::string path = Trimmed(imagePath);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  const std::string windows(windowsDir);
  if (path.empty()) return windows + "\\System32\\drivers\\" + std::string(serviceName) + ".sys";
  const std::string upper = AsciiUpper(path);
  if (upper.starts_with("\\??\\")) return path.substr(4);
  if (upper.starts_with("\\SYSTEMROOT\\")) return windows + path.substr(11);
  if (upper.starts_with("%SYSTEMROOT%\\")) return windows + path.substr(12);
  if (upper.starts_with("%WINDIR%\\")) return windows + path.substr(8);
  if (upper.starts_with("SYSTEM32\\") || upper.starts_with("SYSWOW64\\")) return windows + "\\" + path;
  return path;
}

bool IsInDriverFolders(std::string_view path, std::string_view windowsDir) {
  if (windowsDir.empty()) return false;
  const std::string upper = AsciiUpper(path);
  // ".." would lead out of the folder while the text stays under it.
  if (upper.find("\\..") != std::string::npos || upper.find("/") != std::string::npos) return false;
  const std::string windows = AsciiUpper(windowsDir);
  for (const char* folder : {"\\SYSTEM32\\DRIVERS\\", "\\SYSTEM32\\DRIVERSTORE\\FILEREPOSITORY\\"}) {
    const std::string prefix = windows + folder;
    if (upper.size() > prefix.size() && upper.starts_with(prefix)) return true;
  }
  return false;
}

bool IsSystemProgram(std::string_view command, std::string_view windowsDir) {
  if (windowsDir.empty()) return false;
  const std::string program = AsciiUpper(ExtractExecutablePath(command, windowsDir));
  const std::string folder = AsciiUpper(windowsDir) + "\\";
  return program.size() > folder.size() && program.starts_with(folder);
}

namespace {

std::string KeyWithoutTrail(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return AsciiUpper(key);
}

}  // namespace

void MergeHookRows(std::vector<AutorunRow>& rows, std::size_t firstHook) {
  // The rows before the hooks by key and value name, each looked up once
  // per hook row (a Run key of thousands of values is read by both).
  std::unordered_map<std::string, std::size_t> earlier;
  earlier.reserve(firstHook);
  auto nameOf = [](const AutorunRow& row) { return KeyWithoutTrail(row.registryKey) + '\0' + AsciiUpper(RowValueName(row)); };
  for (std::size_t j = firstHook; j-- > 0;)
    if (rows[j].element.empty()) earlier[nameOf(rows[j])] = j;
  std::vector<AutorunRow> kept;
  std::vector<bool> dropped(firstHook, false);
  for (std::size_t i = firstHook; i < rows.size(); ++i) {
    AutorunRow& hook = rows[i];
    const auto found = earlier.find(nameOf(hook));
    AutorunRow* same = found == earlier.end() ? nullptr : &rows[found->second];
    // An element of a list the earlier row shows whole: the elements are
    // the rows (each removable on its own), the whole list is not.
    if (same && hook.split != ValueSplit::Whole && AsciiUpper(Trimmed(same->value)) != AsciiUpper(Trimmed(hook.element))) {
      dropped[found->second] = true;
      same = nullptr;
    }
    if (!same) {
      kept.push_back(std::move(hook));
      continue;
    }
    if (hook.defaultValue) same->defaultValue = hook.defaultValue;
    same->alwaysFlag = same->alwaysFlag || hook.alwaysFlag;
    if (same->details.empty()) same->details = hook.details;
    if (hook.split != ValueSplit::Whole) {
      same->split = hook.split;
      same->element = hook.element;
    }
    if (same->judgeText.empty()) {
      same->judgeText = hook.judgeText;
      same->judgePath = hook.judgePath;
    }
  }
  rows.resize(firstHook);
  std::size_t to = 0;
  for (std::size_t j = 0; j < rows.size(); ++j) {
    if (dropped[j]) continue;
    if (to != j) rows[to] = std::move(rows[j]);
    ++to;
  }
  rows.resize(to);
  for (auto& row : kept) rows.push_back(std::move(row));
}

std::string TaskKeyText(std::string_view folder) {
  std::string text = kTaskSchedulerText;
  if (folder.empty() || folder.front() != '\\') text += '\\';
  text += folder;
  return text;
}

std::string TaskDetails(const ScheduledTask& task) {
  std::string text = task.enabled ? "Task enabled" : "Task disabled";
  if (task.hidden) text += ", hidden";
  text += ". Triggers: ";
  if (task.triggers.empty()) text += "none (started on demand only)";
  for (std::size_t i = 0; i < task.triggers.size(); ++i) text += (i ? ", " : "") + task.triggers[i];
  text += ".";
  return text;
}

std::vector<AutorunRow> TaskRows(const ScheduledTask& task, const ComServerLookup& comServer) {
  std::vector<AutorunRow> rows;
  const std::string keyText = TaskKeyText(TaskFolderOf(task.path));
  const std::string details = TaskDetails(task);
  for (std::size_t i = 0; i < task.actions.size(); ++i) {
    const TaskAction& action = task.actions[i];
    AutorunRow row;
    row.itemName = task.path;
    row.registryKey = keyText;
    row.source = kScheduledTaskSource;
    row.taskPath = task.path;
    row.owner = task.userId;
    row.details = details;
    if (task.actions.size() > 1)
      row.details += " Action " + std::to_string(i + 1) + " of " + std::to_string(task.actions.size()) + ".";
    switch (action.kind) {
      case TaskAction::Kind::Exec: {
        const std::string command = Trimmed(action.command);
        const std::string arguments = Trimmed(action.arguments);
        row.value = QuotedWhenBlank(command) + (arguments.empty() ? "" : " " + arguments);
        row.iconText = command;
        break;
      }
      case TaskAction::Kind::ComHandler: {
        const std::string classId = Trimmed(action.classId);
        const std::string server = comServer ? comServer(classId) : std::string();
        row.value = server.empty() ? classId : server;
        row.iconText = server;
        row.details += " COM handler " + classId + (action.data.empty() ? "" : " with data " + action.data) + ".";
        break;
      }
      case TaskAction::Kind::SendEmail:
        row.value = "E-mail to " + Trimmed(action.to) + ": " + Trimmed(action.subject);
        break;
      case TaskAction::Kind::ShowMessage:
        row.value = "Message: " + Trimmed(action.title) + (action.body.empty() ? "" : ": " + Trimmed(action.body));
        break;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace wl
