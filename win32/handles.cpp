#include "win32/handles.h"

#include <objbase.h>

namespace wl::win32 {

ComScope::ComScope() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ok_ = SUCCEEDED(hr);  // S_FALSE (already initialised) also needs the matching uninitialise
}

ComScope::~ComScope() {
  if (ok_) CoUninitialize();
}

}  // namespace wl::win32
