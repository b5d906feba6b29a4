#include "undo/system_state.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/system_write.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

using win32::Narrow;
using win32::Widen;

uint32_t OpenKey(HKEY root, const std::string& path, win32::RegView view, win32::RegKey& out) {
  LONG rc = ERROR_SUCCESS;
  auto key = win32::RegKey::Open(root, path, KEY_READ, view, &rc);
  if (!key) return static_cast<uint32_t>(rc == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : rc);
  out = std::move(*key);
  return ERROR_SUCCESS;
}

// Every value and sub-key below key; any entry that cannot be read is an
// error, never a shorter copy.
uint32_t DumpKey(const win32::RegKey& key, RegTreeCopy& out, int depth) {
  if (depth > 512) return ERROR_BUFFER_OVERFLOW;
  LONG rc = ERROR_SUCCESS;
  std::vector<win32::RegValue> values = key.Values(&rc);
  if (rc != ERROR_SUCCESS) return static_cast<uint32_t>(rc);
  for (win32::RegValue& v : values) out.values.push_back({std::move(v.name), v.type, std::move(v.data)});
  const std::vector<std::string> names = key.SubKeyNames(&rc);
  if (rc != ERROR_SUCCESS) return static_cast<uint32_t>(rc);
  for (const std::string& n : names) {
    auto sub = win32::RegKey::Open(key.get(), n, KEY_READ, win32::RegView::Default, &rc);
    if (!sub) return static_cast<uint32_t>(rc);
    RegTreeCopy child;
    child.name = n;
    if (const uint32_t e = DumpKey(*sub, child, depth + 1)) return e;
    out.keys.push_back(std::move(child));
  }
  return ERROR_SUCCESS;
}

bool NameLess(const std::string& a, const std::string& b) {
  const std::wstring wa = Widen(a), wb = Widen(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                              TRUE) == CSTR_LESS_THAN;
}

uint64_t FileTimeValue(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

}  // namespace

std::string ViewName(win32::RegView view) {
  switch (view) {
    case win32::RegView::Force64: return "64";
    case win32::RegView::Force32: return "32";
    default: return "default";
  }
}

win32::RegView ViewFrom(const std::string& name) {
  if (name == "64") return win32::RegView::Force64;
  if (name == "32") return win32::RegView::Force32;
  return win32::RegView::Default;
}

bool SplitKeyText(const std::string& text, HKEY& root, std::string& rootName, std::string& path) {
  const auto slash = text.find('\\');
  rootName = text.substr(0, slash);
  const auto r = win32::RootFromName(rootName);
  if (!r) return false;
  root = *r;
  rootName = win32::RootName(root);
  path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  return true;
}

uint32_t ReadRegValueState(HKEY root, const std::string& path, win32::RegView view, const std::string& name,
                           RegValueCopy& out) {
  win32::RegKey key;
  if (const uint32_t e = OpenKey(root, path, view, key)) return e;
  LONG rc = ERROR_SUCCESS;
  auto value = key.Read(name, &rc);
  if (!value) return static_cast<uint32_t>(rc == ERROR_SUCCESS ? ERROR_MORE_DATA : rc);
  out = {name, value->type, std::move(value->data)};
  return ERROR_SUCCESS;
}

uint32_t DumpRegTree(HKEY root, const std::string& path, win32::RegView view, RegTreeCopy& out) {
  win32::RegKey key;
  if (const uint32_t e = OpenKey(root, path, view, key)) return e;
  out = {};
  const auto slash = path.find_last_of('\\');
  out.name = slash == std::string::npos ? path : path.substr(slash + 1);
  return DumpKey(key, out, 0);
}

RegTreeCopy SortedTree(RegTreeCopy tree) {
  std::sort(tree.values.begin(), tree.values.end(),
            [](const RegValueCopy& a, const RegValueCopy& b) { return NameLess(a.name, b.name); });
  for (auto& k : tree.keys) k = SortedTree(std::move(k));
  std::sort(tree.keys.begin(), tree.keys.end(),
            [](const RegTreeCopy& a, const RegTreeCopy& b) { return NameLess(a.name, b.name); });
  return tree;
}

std::optional<std::string> ReadIniState(const std::string& path, const std::string& section,
                                        const std::string& entry) {
  // A default no entry can hold tells a missing entry from an empty one.
  static const wchar_t kMissing[] = L"\x1\x2\x3 missing \x3\x2\x1";
  std::wstring buf(4096, L'\0');
  for (;;) {
    const DWORD n = GetPrivateProfileStringW(Widen(section).c_str(), Widen(entry).c_str(), kMissing, buf.data(),
                                             static_cast<DWORD>(buf.size()), win32::ApiPath(path).c_str());
    if (n + 1 >= buf.size() && buf.size() < (1u << 20)) {
      buf.resize(buf.size() * 4);
      continue;
    }
    buf.resize(n);
    break;
  }
  if (buf == kMissing) return std::nullopt;
  return Narrow(buf);
}

std::optional<ServiceConfigCopy> ReadServiceConfig(const std::string& name) {
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return std::nullopt;
  const win32::UniqueScHandle service(OpenServiceW(manager.get(), Widen(name).c_str(), SERVICE_QUERY_CONFIG));
  if (!service) return std::nullopt;
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (!needed) return std::nullopt;
  std::vector<uint8_t> buf(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
  if (!QueryServiceConfigW(service.get(), config, needed, &needed)) return std::nullopt;
  auto text = [](const wchar_t* s) { return s ? Narrow(s) : std::string(); };
  ServiceConfigCopy copy;
  copy.name = name;
  copy.serviceType = config->dwServiceType;
  copy.startType = config->dwStartType;
  copy.errorControl = config->dwErrorControl;
  copy.binaryPath = text(config->lpBinaryPathName);
  copy.group = text(config->lpLoadOrderGroup);
  copy.account = text(config->lpServiceStartName);
  copy.displayName = text(config->lpDisplayName);
  for (const wchar_t* d = config->lpDependencies; d && *d; d += wcslen(d) + 1) copy.dependencies.push_back(Narrow(d));
  needed = 0;
  QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
  if (needed) {
    std::vector<uint8_t> d(needed);
    if (QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, d.data(), needed, &needed))
      copy.description = text(reinterpret_cast<SERVICE_DESCRIPTIONW*>(d.data())->lpDescription);
  }
  return copy;
}

uint32_t WriteFileFlushed(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".new";
  {
    // Never through a link planted in the file's place.
    win32::UniqueHfile file(CreateFileW(win32::ApiPath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return GetLastError();
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written != chunk) {
        const DWORD e = GetLastError();
        file.reset();
        DeleteFileW(win32::ApiPath(temp).c_str());
        return e ? e : ERROR_WRITE_FAULT;
      }
      done += chunk;
    }
    if (!FlushFileBuffers(file.get())) {
      const DWORD e = GetLastError();
      file.reset();
      DeleteFileW(win32::ApiPath(temp).c_str());
      return e;
    }
  }
  if (!MoveFileExW(win32::ApiPath(temp).c_str(), win32::ApiPath(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD e = GetLastError();
    DeleteFileW(win32::ApiPath(temp).c_str());
    return e;
  }
  return ERROR_SUCCESS;
}

uint32_t CompressFileCopy(const std::string& path, const std::string& copyPath, FileCopy& info) {
  // A link in the file's place is never read through (its target is not
  // the file being changed).
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!in) return GetLastError();
  BY_HANDLE_FILE_INFORMATION fi{};
  if (!GetFileInformationByHandle(in.get(), &fi)) return GetLastError();
  win32::UniqueHfile out(CreateFileW(win32::ApiPath(copyPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!out) return GetLastError();
  auto fail = [&](uint32_t e) {
    out.reset();
    DeleteFileW(win32::ApiPath(copyPath).c_str());
    return e ? e : ERROR_WRITE_FAULT;
  };
  z_stream z{};
  if (deflateInit(&z, 6) != Z_OK) return fail(ERROR_NOT_ENOUGH_MEMORY);
  std::vector<uint8_t> inBuf(1 << 20), outBuf(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  int flush = Z_NO_FLUSH;
  uint32_t error = ERROR_SUCCESS;
  while (flush != Z_FINISH && !error) {
    DWORD got = 0;
    if (!ReadFile(in.get(), inBuf.data(), static_cast<DWORD>(inBuf.size()), &got, nullptr)) {
      error = GetLastError();
      break;
    }
    crc = crc32(crc, inBuf.data(), got);
    total += got;
    flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = inBuf.data();
    z.avail_in = got;
    do {
      z.next_out = outBuf.data();
      z.avail_out = static_cast<uInt>(outBuf.size());
      deflate(&z, flush);
      const DWORD have = static_cast<DWORD>(outBuf.size() - z.avail_out);
      DWORD written = 0;
      if (have && (!WriteFile(out.get(), outBuf.data(), have, &written, nullptr) || written != have)) {
        error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        break;
      }
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  if (error) return fail(error);
  if (!FlushFileBuffers(out.get())) return fail(GetLastError());
  info.size = total;
  info.crc32 = static_cast<uint32_t>(crc);
  info.created = FileTimeValue(fi.ftCreationTime);
  info.accessed = FileTimeValue(fi.ftLastAccessTime);
  info.written = FileTimeValue(fi.ftLastWriteTime);
  info.attributes = fi.dwFileAttributes;
  return ERROR_SUCCESS;
}

uint32_t ExpandFileCopy(const std::string& copyPath, const std::string& outPath, const FileCopy& info) {
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(copyPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return GetLastError();
  win32::UniqueHfile out(CreateFileW(win32::ApiPath(outPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!out) return GetLastError();
  auto fail = [&](uint32_t e) {
    out.reset();
    DeleteFileW(win32::ApiPath(outPath).c_str());
    return e ? e : ERROR_INVALID_DATA;
  };
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return fail(ERROR_NOT_ENOUGH_MEMORY);
  std::vector<uint8_t> inBuf(1 << 20), outBuf(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  int rc = Z_OK;
  uint32_t error = ERROR_SUCCESS;
  while (rc != Z_STREAM_END && !error) {
    DWORD got = 0;
    if (!ReadFile(in.get(), inBuf.data(), static_cast<DWORD>(inBuf.size()), &got, nullptr)) {
      error = GetLastError();
      break;
    }
    if (got == 0) {
      error = ERROR_INVALID_DATA;  // the copy ends early
      break;
    }
    z.next_in = inBuf.data();
    z.avail_in = got;
    do {
      z.next_out = outBuf.data();
      z.avail_out = static_cast<uInt>(outBuf.size());
      rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        error = ERROR_INVALID_DATA;
        break;
      }
      const DWORD have = static_cast<DWORD>(outBuf.size() - z.avail_out);
      crc = crc32(crc, outBuf.data(), have);
      total += have;
      DWORD written = 0;
      if (have && (!WriteFile(out.get(), outBuf.data(), have, &written, nullptr) || written != have)) {
        error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        break;
      }
    } while (z.avail_out == 0 && rc != Z_STREAM_END);
  }
  inflateEnd(&z);
  if (error) return fail(error);
  if (total != info.size || static_cast<uint32_t>(crc) != info.crc32) return fail(ERROR_CRC);
  if (!FlushFileBuffers(out.get())) return fail(GetLastError());
  return ERROR_SUCCESS;
}

uint32_t FileSizeAndCrc(const std::string& path, FileCopy& info) {
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return GetLastError();
  std::vector<uint8_t> buf(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) return GetLastError();
    if (got == 0) break;
    crc = crc32(crc, buf.data(), got);
    total += got;
  }
  info.size = total;
  info.crc32 = static_cast<uint32_t>(crc);
  return ERROR_SUCCESS;
}

std::string FileFingerprint(const uint8_t* data, std::size_t size) {
  FileCopy info;
  info.size = size;
  uLong crc = crc32(0, nullptr, 0);
  for (std::size_t done = 0; done < size;) {
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(size - done, 1u << 30));
    crc = crc32(crc, data + done, chunk);
    done += chunk;
  }
  info.crc32 = static_cast<uint32_t>(crc);
  return FileFingerprint(info);
}

std::string FileFingerprint(const FileCopy& info) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(info.crc32));
  return std::to_string(info.size) + " " + crc;
}

bool FileMatchesCopy(const std::string& path, const FileCopy& info) {
  FileCopy now;
  return FileSizeAndCrc(path, now) == ERROR_SUCCESS && now.size == info.size && now.crc32 == info.crc32;
}

std::optional<TaskStateCopy> ReadTaskState(const std::string& taskPath) {
  const auto enabled = ScheduledTaskEnabled(taskPath);
  if (!enabled) return std::nullopt;
  return TaskStateCopy{ScheduledTaskXml(taskPath), *enabled};
}

std::string TaskStoreFile(const std::string& taskPath) {
  const std::string store = TaskStoreFolder();
  return store.empty() ? std::string() : store + taskPath;
}

}  // namespace wl::undo
