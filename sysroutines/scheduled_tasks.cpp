#include "sysroutines/scheduled_tasks.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <taskschd.h>
#include <xmllite.h>

#include <algorithm>
#include <set>

#include "core/ascii.h"
#include "sysroutines/task_service.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::ComPtr;

// A definition file larger than this is no task the service wrote.
constexpr std::size_t kMaxDefinitionBytes = 4u << 20;
// Folders nested deeper than this are not walked (a loop of junctions).
constexpr int kMaxFolderDepth = 32;

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
// IID_IXmlReader (no import library of the SDK defines it).
constexpr GUID kIidXmlReader = {0x7279fc81, 0x709d, 0x4095, {0xb6, 0x3d, 0x69, 0xfe, 0x4b, 0x0d, 0x90, 0x30}};

// xmllite.dll from the system folder, loaded once for the run.
CreateXmlReaderFn XmlReaderFactory() {
  static const CreateXmlReaderFn factory = [] {
    HMODULE module = LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<CreateXmlReaderFn>(
                        reinterpret_cast<void*>(GetProcAddress(module, "CreateXmlReader")))
                  : nullptr;
  }();
  return factory;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > kMaxDefinitionBytes)
    return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return std::nullopt;
  bytes.resize(read);
  return bytes;
}

// The definition files below folder; relative is the task path of folder
// ("" for the store's root).
void ReadStoreFolder(const std::string& folder, const std::string& relative, int depth,
                     std::vector<ScheduledTask>& tasks) {
  if (depth > kMaxFolderDepth) return;
  WIN32_FIND_DATAW found{};
  win32::UniqueFind find(FindFirstFileExW(win32::ApiPath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return;
  std::vector<std::string> files, folders;
  do {
    const std::string name = win32::Narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(name);
    } else {
      files.push_back(name);
    }
  } while (FindNextFileW(find.get(), &found));
  const auto byLowerName = [](const auto& a, const auto& b) { return AsciiLower(a) < AsciiLower(b); };
  std::sort(files.begin(), files.end(), byLowerName);
  std::sort(folders.begin(), folders.end(), byLowerName);
  for (const auto& name : files) {
    const auto bytes = ReadSmallFile(folder + "\\" + name);
    if (!bytes) continue;
    if (auto task = ParseTaskXml(*bytes, relative + "\\" + name)) tasks.push_back(std::move(*task));
  }
  for (const auto& name : folders) ReadStoreFolder(folder + "\\" + name, relative + "\\" + name, depth + 1, tasks);
}

// The registered tasks of a folder and of its sub-folders.
void ReadServiceFolder(ITaskFolder* folder, int depth, std::vector<ScheduledTask>& tasks) {
  if (depth > kMaxFolderDepth) return;
  ComPtr<IRegisteredTaskCollection> collection;
  LONG count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, collection.put())) && collection &&
      SUCCEEDED(collection->get_Count(&count))) {
    for (LONG i = 1; i <= count; ++i) {
      VARIANT index;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = i;
      ComPtr<IRegisteredTask> registered;
      if (FAILED(collection->get_Item(index, registered.put())) || !registered) continue;
      Bstr path, xml;
      if (FAILED(registered->get_Path(path.put())) || FAILED(registered->get_Xml(xml.put()))) continue;
      const std::wstring_view text = xml.view();
      // The reader is handed the text as UTF-16 with its byte-order mark.
      std::string bytes("\xFF\xFE", 2);
      bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
      auto task = ParseTaskXml(bytes, win32::Narrow(path.view()));
      if (!task) continue;
      VARIANT_BOOL enabled = VARIANT_TRUE;
      if (SUCCEEDED(registered->get_Enabled(&enabled))) task->enabled = enabled != VARIANT_FALSE;
      tasks.push_back(std::move(*task));
    }
  }
  ComPtr<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.put())) || !folders || FAILED(folders->get_Count(&count))) return;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    ComPtr<ITaskFolder> sub;
    if (SUCCEEDED(folders->get_Item(index, sub.put())) && sub) ReadServiceFolder(sub.get(), depth + 1, tasks);
  }
}

}  // namespace

std::string TaskStoreFolder() {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return win32::Narrow(std::wstring_view(dir, n)) + "\\Tasks";
}

std::optional<std::vector<TaskXmlNode>> ReadXmlNodes(std::string_view bytes) {
  const CreateXmlReaderFn create = XmlReaderFactory();
  if (!create) return std::nullopt;
  ComPtr<IXmlReader> reader;
  if (FAILED(create(kIidXmlReader, reader.put_void(), nullptr))) return std::nullopt;
  reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
  ComPtr<IStream> stream;
  *stream.put() = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream || FAILED(reader->SetInput(stream.get()))) return std::nullopt;
  std::vector<TaskXmlNode> nodes;
  XmlNodeType type = XmlNodeType_None;
  while (reader->Read(&type) == S_OK) {
    switch (type) {
      case XmlNodeType_Element: {
        const wchar_t* name = nullptr;
        UINT length = 0;
        if (FAILED(reader->GetLocalName(&name, &length))) return nodes;
        nodes.push_back({TaskXmlNode::Kind::Start, win32::Narrow(std::wstring_view(name, length))});
        // <Enabled/> has no end node of its own.
        if (reader->IsEmptyElement()) nodes.push_back({TaskXmlNode::Kind::End, {}});
        break;
      }
      case XmlNodeType_EndElement: nodes.push_back({TaskXmlNode::Kind::End, {}}); break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA: {
        const wchar_t* value = nullptr;
        UINT length = 0;
        if (FAILED(reader->GetValue(&value, &length))) return nodes;
        nodes.push_back({TaskXmlNode::Kind::Text, win32::Narrow(std::wstring_view(value, length))});
        break;
      }
      default: break;
    }
  }
  return nodes;
}

std::optional<ScheduledTask> ParseTaskXml(std::string_view bytes, std::string path) {
  if (bytes.size() > kMaxDefinitionBytes) return std::nullopt;
  const auto nodes = ReadXmlNodes(bytes);
  if (!nodes) return std::nullopt;
  return TaskFromXmlNodes(*nodes, std::move(path));
}

TaskListing ListScheduledTasks(const std::string& storeFolder) {
  TaskListing listing;
  {
    win32::ComScope com;
    ComPtr<ITaskService> service;
    std::string error;
    if (ConnectTaskService(service, error)) {
      HRESULT hr = S_OK;
      if (const auto root = GetTaskFolder(service.get(), "\\", hr)) ReadServiceFolder(root.get(), 0, listing.tasks);
    } else {
      listing.error = error;
    }
  }
  listing.fromService = listing.tasks.size();
  // The store holds the definitions the service did not list (a service that
  // cannot enumerate its folders); a task listed by both is listed once.
  std::set<std::string> known;
  for (const auto& task : listing.tasks) known.insert(AsciiLower(task.path));
  std::vector<ScheduledTask> stored;
  const std::string folder = storeFolder.empty() ? TaskStoreFolder() : storeFolder;
  if (!folder.empty()) ReadStoreFolder(folder, "", 0, stored);
  for (auto& task : stored) {
    if (!known.insert(AsciiLower(task.path)).second) continue;
    listing.tasks.push_back(std::move(task));
    ++listing.fromStore;
  }
  return listing;
}

}  // namespace wl
