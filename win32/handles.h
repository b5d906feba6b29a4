// Move-only owners of OS handles, each with its invalid value stated.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winsvc.h>

#include <utility>

namespace wl::win32 {

// Traits: static Type Invalid(); static void Close(Type).
template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;
  UniqueAny() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueAny(Type v) noexcept : value_(v) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& o) noexcept : value_(o.release()) {}
  UniqueAny& operator=(UniqueAny&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type v = Traits::Invalid()) noexcept {
    if (value_ != Traits::Invalid()) Traits::Close(value_);
    value_ = v;
  }
  // For out-parameters: closes the current value first.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

struct HkeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct HandleTraits {  // kernel handles where null is invalid (processes, threads, events)
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE is invalid
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FindTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct ScHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};
struct HiconTraits {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyIcon(h); }
};
struct HmoduleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};
struct GdiTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

// Memory the system allocated for the caller with LocalAlloc (FormatMessage's
// buffer, security descriptors and SIDs made from their text forms); T is the
// pointer type the call fills.
template <typename T>
struct LocalMemoryTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static void Close(Type p) { LocalFree(reinterpret_cast<HLOCAL>(p)); }
};

using UniqueHkey = UniqueAny<HkeyTraits>;
using UniqueHandle = UniqueAny<HandleTraits>;
using UniqueHfile = UniqueAny<FileHandleTraits>;
using UniqueSnapshot = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindTraits>;
using UniqueScHandle = UniqueAny<ScHandleTraits>;
using UniqueHicon = UniqueAny<HiconTraits>;
using UniqueHmodule = UniqueAny<HmoduleTraits>;
using UniqueGdiObject = UniqueAny<GdiTraits>;
template <typename T>
using UniqueLocal = UniqueAny<LocalMemoryTraits<T>>;

// Owner of a COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// CoInitialize for a scope; uninitialises only when it succeeded.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

}  // namespace wl::win32
