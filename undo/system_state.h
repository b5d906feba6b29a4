// Reads the state a backup keeps and a restore compares: registry values and
// trees (every enumeration error is an error, never a shorter list), INI
// entries, service configurations, and compressed file copies.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "undo/backup_manifest.h"
#include "win32/registry.h"

namespace wl::undo {

std::string ViewName(win32::RegView view);
win32::RegView ViewFrom(const std::string& name);

// "HKEY_LOCAL_MACHINE\Software\X" → root and "Software\X".
bool SplitKeyText(const std::string& text, HKEY& root, std::string& rootName, std::string& path);

// A value: ERROR_SUCCESS and the value, ERROR_FILE_NOT_FOUND when it (or its
// key) is not there, another code when it could not be read.
uint32_t ReadRegValueState(HKEY root, const std::string& path, win32::RegView view, const std::string& name,
                           RegValueCopy& out);
// A key with everything below it; ERROR_FILE_NOT_FOUND when missing.
uint32_t DumpRegTree(HKEY root, const std::string& path, win32::RegView view, RegTreeCopy& out);
// The same tree in a fixed order (names compared case-insensitively as the
// registry does), for comparing dumps.
RegTreeCopy SortedTree(RegTreeCopy tree);

// An INI entry's text; nullopt when the entry is not there.
std::optional<std::string> ReadIniState(const std::string& path, const std::string& section,
                                        const std::string& entry);

// The configuration of a registered service; nullopt when the service
// control manager does not know it.
std::optional<ServiceConfigCopy> ReadServiceConfig(const std::string& name);

// Copies a file compressed (zlib) to copyPath and fills in its size, CRC,
// times and attributes; the copy is flushed to disk. ERROR_SUCCESS or why not.
uint32_t CompressFileCopy(const std::string& path, const std::string& copyPath, FileCopy& info);
// Expands a copy to outPath, checking its size and CRC.
uint32_t ExpandFileCopy(const std::string& copyPath, const std::string& outPath, const FileCopy& info);
// Whether the file at path has the copy's size and CRC (a missing file: no).
bool FileMatchesCopy(const std::string& path, const FileCopy& info);
// The size and CRC of a file (the rest of info is left as it is).
// ERROR_SUCCESS or why not.
uint32_t FileSizeAndCrc(const std::string& path, FileCopy& info);
// "<size> <crc32 in hex>" of bytes, and of a file's size and checksum: how a
// rewritten file's new contents are known again.
std::string FileFingerprint(const uint8_t* data, std::size_t size);
std::string FileFingerprint(const FileCopy& info);

// A scheduled task as the task service has it: its definition and whether it
// is enabled; nullopt when the service has no task of that path.
struct TaskStateCopy {
  std::string definition;
  bool enabled = false;
};
std::optional<TaskStateCopy> ReadTaskState(const std::string& taskPath);
// The file that holds a task's definition in the system's task store.
std::string TaskStoreFile(const std::string& taskPath);

// Writes a file through a temporary name and flushes it, replacing what was
// there only once all of it is on disk.
uint32_t WriteFileFlushed(const std::string& path, const std::string& bytes);

}  // namespace wl::undo
