#!/bin/bash
# Only the write routines (sysroutines/system_write*.cpp: the gate that backs
# up every change first, and the routines of each domain behind it) and the key type itself (win32/registry.cpp) may open the
# registry for writing. Everything else - scanners, pages, dialogs, the
# backup store - reads through win32::RegKey, which cannot be opened with a
# right to write. Test code (tests, fixtures, benchmarks) sets up state and
# may write. Prints every place that breaks the rule; fails when there is one.
set -u
ROOT="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$ROOT" || exit 2

# Files that are test code or may write.
allowed() {
  case "$1" in
    win32/registry.h | win32/registry.cpp | win32/registry_write.h) return 0 ;;
    sysroutines/system_write.cpp | sysroutines/system_write_*.cpp) return 0 ;;
    *_test.cpp | */testing/* | */testdata/* | *fixture* | tests/* | bench/* | fuzz/* | sysroutines/test_files.*) return 0 ;;
    service/test_service_main.cpp) return 0 ;;
  esac
  return 1
}

# The writable key type, and the registry functions that open keys with
# rights of their choosing, create, write, delete, load or replace.
pattern='registry_write\.h|\bRegWriteKey\b|\b(RegCreateKey|RegOpenKey|RegSetValue|RegSetKeyValue|RegDeleteKey|RegDeleteValue|RegDeleteTree|RegCopyTree|RegRenameKey|RegRestoreKey|RegReplaceKey|RegLoadKey|RegUnLoadKey|RegSaveKey|RegLoadAppKey|RegOverridePredefKey|RegConnectRegistry|RegOpenCurrentUser|RegOpenUserClassesRoot|RegDisableReflectionKey|RegEnableReflectionKey|SHDeleteKey|SHDeleteEmptyKey|SHDeleteValue|SHSetValue|SHRegSetValue|SHRegSetUSValue|SHRegCreateUSKey|SHRegWriteUSValue|SHRegDeleteUSValue|SHRegDeleteEmptyUSKey|SHCopyKey|SHRegSetPath|SHRegOpenUSKey)[A-Za-z]*[[:space:]]*\('

found=0
checked=0
while IFS= read -r file; do
  file="${file#./}"
  checked=$((checked + 1))
  allowed "$file" && continue
  if hits=$(grep -nE "$pattern" "$file"); then
    printf '%s\n' "$hits" | sed "s|^|$file:|"
    found=1
  fi
done < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -type f -print)
if [ "$checked" -lt 50 ]; then
  echo "FAIL: only $checked source files found under $ROOT"
  exit 1
fi
if [ "$found" != 0 ]; then
  echo "FAIL: the places above open the registry for writing outside the write routines (sysroutines/system_write*.cpp)"
  exit 1
fi
echo "ok: $checked source files; only the write routines open the registry for writing"
