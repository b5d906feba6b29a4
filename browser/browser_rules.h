// The pure rules of the three browser pages: what one registry entry becomes
// as a row of the extension list or the helper-object list, the row icons,
// the verdicts and hijack-report rows, the enabled/disabled state of a
// component, and the fields, defaults and save order of the settings page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "judge/judge.h"
#include "core/hijack_list.h"
#include "refdb/reference_tables.h"

namespace wl {

// ---- extension list (context-menu entries, toolbars, tool buttons) --------

inline constexpr char kIeExtendPopupMenu[] = "IE Extend Popup Menu";
inline constexpr char kIeToolBar[] = "IE ToolBar";
inline constexpr char kIeToolButton[] = "IE Tool Button";
inline constexpr char kNoClassMark[] = "---";

// Category images of the hijack report (SharedImages::categoryImages).
inline constexpr int kHijackImageGearYellow = 25;
inline constexpr int kHijackImageBrowserFolder = 15;

enum class IeExtensionKind { MenuExt, Toolbar, ToolButton };

// Where a row's picture comes from: the icon of a file (the shell's icon for
// it, or the icon at an index inside it).
struct IconSource {
  std::string file;  // empty: no picture
  int index = 0;
  bool byIndex = false;  // the icon at index inside file; false: the file's associated icon

  bool operator==(const IconSource&) const = default;
};

struct IeExtensionRow {
  IeExtensionKind kind = IeExtensionKind::MenuExt;
  std::string itemName;  // "Item Name"
  std::string clsid;     // "CLSID": the class identifier or Extensions sub-key name; "---" for menu entries
  std::string filePath;  // "File Path"
  std::string itemType;  // "Item Type"
  // Registered in the 32-bit registry view (where a 64-bit system keeps the
  // registrations of 32-bit components); every action on the row acts there.
  bool wow32 = false;
  IconSource icon;
  Judgement judgement;  // of the file it loads (when it names one)
};

std::vector<std::string> IeExtensionColumns();

IeExtensionRow MakeMenuExtRow(std::string_view name, std::string_view value);
// shortServerPath: the 8.3 form of the class's in-process server, empty when
// the file does not exist.
IeExtensionRow MakeToolbarRow(std::string_view clsid, std::string_view className, std::string_view shortServerPath,
                              bool wow32, std::string_view windowsDir);
IeExtensionRow MakeToolButtonRow(std::string_view subKey, std::string_view buttonText, std::string_view hotIcon,
                                 bool wow32, std::string_view windowsDir);

// A tool button's caption: "ButtonText" when the value exists (even empty),
// else "MenuText", else empty.
std::string ToolButtonText(const std::optional<std::string>& buttonText, const std::optional<std::string>& menuText);

// The icon named by a list of lines (an icon value whose
// commas became line breaks): two or more lines give the file of line 0 and
// the index of line 1 (0 when it is not a decimal number); one line is
// reduced to a program path and gives that file's associated icon.
IconSource IconFromSpec(const std::vector<std::string>& lines, std::string_view windowsDir);
// A "HotIcon" value: split at its first comma into file and index, the file
// reduced to a program path.
IconSource HotIconSource(std::string_view hotIcon, std::string_view windowsDir);

// The folder of a path: the text up to its last backslash ("C:\\" for a file
// in a drive's root); empty when there is no backslash.
std::string FolderOf(std::string_view path);

// The decimal number a text holds, as a whole (a sign allowed), else fallback.
int DecimalOr(std::string_view text, int fallback);

HijackRow IeExtensionHijackRow(const IeExtensionRow& row);

// A server path as a component of the 32-bit view means it: a path into the
// system folder names the 32-bit system folder there (a 32-bit program that
// asks for the one is given the other). Paths elsewhere, and every path of
// the native view, stay as they are. ASCII letters compare without case.
std::string ServerPathInView(std::string_view path, bool wow32, std::string_view systemDir,
                             std::string_view wow64Dir);

// What removing a checked row does.
enum class IeRemoval {
  DeleteExtension,     // the Extensions sub-key named by "CLSID"
  UnregisterServer,    // the toolbar's server unregisters itself (regsvr32 /u /s)
  DeleteToolbarValue,  // the Toolbar value named by "CLSID"
  DeleteMenuExt,       // the MenuExt sub-key named by the caption
};
IeRemoval IeRemovalFor(const IeExtensionRow& row);

// ---- helper objects and ActiveX controls ------------------------------------

inline constexpr char kIeActiveXControl[] = "IE ActiveX Control";
inline constexpr char kIeAssistantActiveX[] = "IE Assistant ActiveX";
inline constexpr char kIeExtensionProgram[] = "IE Extension Program";
inline constexpr char kBrowserHelpObject[] = "Browser Help Object";
inline constexpr char kVerdictPlaceholder[] = "Unknown";
// Row images (SharedImages::rowImages).
inline constexpr int kHelperObjectImage = 3;     // a document with a gear
inline constexpr int kExtensionProgramImage = 8;  // coloured building blocks

enum class HelperObjectSource { Statistics, DownloadedControl, HelperObjectKey };

struct HelperObjectRow {
  std::string itemName;  // the class name, or an extension program's "ButtonText"
  std::string itemType;  // "IE ActiveX Control", "IE Assistant ActiveX", "IE Extension Program"
  std::string filePath;  // the in-process server, or the extension program's "Exec", as stored
  std::string analysis = kVerdictPlaceholder;  // the verdict from Class.db
  std::string clsid;  // the registry sub-key name, exactly as enumerated
  int image = kHelperObjectImage;
  bool wow32 = false;  // registered in the 32-bit view
  HelperObjectSource source = HelperObjectSource::Statistics;
  bool extensionProgram = false;
  Judgement judgement;  // of its server (or an extension program's command)
  int scanIndex = -1;   // its place in the scan's rows, which its hijack row names
};

// The type text of an add-on statistics "Type"; nullopt for a type not listed.
std::optional<std::string> StatisticsTypeText(uint32_t type);

HelperObjectRow MakeClassRow(std::string_view className, std::string_view typeText, std::string_view server,
                             std::string_view clsid, bool wow32, HelperObjectSource source);
HelperObjectRow MakeExtensionProgramRow(std::string_view buttonText, std::string_view exec, std::string_view clsid,
                                        bool wow32);

// The fallback keys list only sub-keys whose names begin with "{".
bool IsClassKeyName(std::string_view name);

// The list's column titles before the first scan, and the two the scan sets.
std::vector<std::string> HelperObjectColumns();
std::string HelperObjectTotalHeader(std::size_t count);
std::string HelperObjectInstalledHeader(std::size_t count);

// Replaces every row's placeholder verdict with LookupClass of its class.
void ApplyClassVerdicts(std::vector<HelperObjectRow>& rows, const ReferenceTables& tables);
// The judge's word on each row's file: the signer, and where Class.db knows
// nothing of the class (or the judge finds reasons), the judge's verdict text.
void JudgeHelperObjects(std::vector<HelperObjectRow>& rows, const Judge& judge);
// The same for the browser extensions' files (menu entries name no program).
void JudgeIeExtensions(std::vector<IeExtensionRow>& rows, const Judge& judge);
// One "Browser Help Object" row per list row, its index the row's place.
std::vector<HijackRow> HelperObjectHijackRows(const std::vector<HelperObjectRow>& rows);

// A component is disabled when its settings key exists with "Flags" the
// integer 1 and "Version" exactly "*".
bool IsComponentDisabled(bool settingsKeyExists, const std::optional<uint32_t>& flags,
                         const std::optional<std::string>& version);
std::string ComponentStateCaption(bool disabled);   // "State: Disabled" / "State: Enabled"
std::string ComponentActionCaption(bool disabled);  // "Enable It" / "Disable It"

// ---- browser settings -----------------------------------------------------

// The nine fields of the "General" group, in the order they are shown.
enum class SettingsField {
  IeVersion,
  CaptionText,
  HomePage,
  DefaultPage,
  SearchPage,
  DefaultSearchPage,
  SearchBar,
  LocalPage,
  DownloadPath
};
inline constexpr std::size_t kSettingsFieldCount = 9;

struct SettingsFieldInfo {
  SettingsField field;
  const char* label;
  const char* button;  // the caption of the button beside it; empty: none
};
const std::array<SettingsFieldInfo, kSettingsFieldCount>& SettingsFields();
std::size_t SettingsFieldIndex(SettingsField field);

// The four keys the page reads and writes.
enum class IeSettingsKey { UserMain, UserSearch, MachineMain, MachineSearch };
bool IsMachineKey(IeSettingsKey key);
// The key's path below its root, without a leading backslash.
const char* IeSettingsKeyPath(IeSettingsKey key);

struct SettingsValue {
  IeSettingsKey key;
  const char* valueName;
  SettingsField field;
};
// The values "Save Settings" writes, in its order.
const std::vector<SettingsValue>& SettingsSaveOrder();
// The values the load reads straight into a field ("Search Page:" aside).
const std::vector<SettingsValue>& SettingsLoadPlaces();

using SettingsTexts = std::array<std::string, kSettingsFieldCount>;
// The "Search Page:" field: "Search Page" when not empty, else "CustomizeSearch".
std::string LoadedSearchPage(std::string_view searchPage, std::string_view customizeSearch);

// The texts the field buttons put in; "Customize..." asks for a folder instead.
inline constexpr char kBlankPage[] = "about:blank";
inline constexpr char kDefaultStartPage[] = "http://www.microsoft.com/windows/ie_intl/cn/start/";
inline constexpr char kDefaultSearchAssistant[] = "http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchasst.htm";
inline constexpr char kDefaultSearchRedirector[] = "http://www.microsoft.com/isapi/redir.dll?prd=ie&ar=iesearch";
// The text a field button sets (nullopt for "Customize..." and fields without one).
std::optional<std::string> FieldButtonText(SettingsField field);

// "Failed to set data for '%s'".
std::string FailedToSetDataMessage(std::string_view valueName);

}  // namespace wl
