#include "sysroutines/wmi_subscriptions.h"

#include <windows.h>
#include <wbemidl.h>

#include <nlohmann/json.hpp>

#include "core/ascii.h"
#include "sysroutines/task_service.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using json = nlohmann::json;

WmiSubscriptionStore*& InstalledWmiStore() {
  static WmiSubscriptionStore* store = nullptr;
  return store;
}

uint32_t WmiError(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case static_cast<uint32_t>(WBEM_E_NOT_FOUND):
    case static_cast<uint32_t>(WBEM_E_INVALID_NAMESPACE):
    case static_cast<uint32_t>(WBEM_E_INVALID_CLASS): return ERROR_FILE_NOT_FOUND;
    case static_cast<uint32_t>(WBEM_E_ACCESS_DENIED): return ERROR_ACCESS_DENIED;
    case static_cast<uint32_t>(WBEM_E_ALREADY_EXISTS): return ERROR_ALREADY_EXISTS;
    default: return static_cast<uint32_t>(hr);
  }
}

struct WmiVariant {
  VARIANT v;
  WmiVariant() { VariantInit(&v); }
  ~WmiVariant() { VariantClear(&v); }
  WmiVariant(const WmiVariant&) = delete;
  WmiVariant& operator=(const WmiVariant&) = delete;
};

std::string WmiText(const VARIANT& v) {
  if (v.vt == VT_BSTR) return v.bstrVal ? win32::Narrow(std::wstring_view(v.bstrVal, SysStringLen(v.bstrVal))) : "";
  if (v.vt == VT_BOOL) return v.boolVal ? "true" : "false";
  WmiVariant text;
  if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(&v), 0, VT_BSTR)) || text.v.vt != VT_BSTR) return {};
  return WmiText(text.v);
}

// An array's elements, each as text.
std::vector<std::string> WmiTexts(const VARIANT& v) {
  std::vector<std::string> out;
  if (!(v.vt & VT_ARRAY) || !v.parray || SafeArrayGetDim(v.parray) != 1) return out;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(v.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(v.parray, 1, &upper))) return out;
  const VARTYPE type = static_cast<VARTYPE>(v.vt & ~VT_ARRAY);
  for (LONG i = lower; i <= upper; ++i) {
    WmiVariant element;
    if (type == VT_VARIANT) {
      if (FAILED(SafeArrayGetElement(v.parray, &i, &element.v))) return {};
    } else {
      // The element is read into the variant's own storage, of its type.
      element.v.vt = type;
      if (FAILED(SafeArrayGetElement(v.parray, &i, &element.v.lVal))) {
        element.v.vt = VT_EMPTY;
        return {};
      }
    }
    out.push_back(WmiText(element.v));
  }
  return out;
}

// WMI's own properties of an instance, read from the object.
WmiInstance InstanceOf(IWbemClassObject* object) {
  WmiInstance out;
  {
    WmiVariant v;
    if (SUCCEEDED(object->Get(L"__CLASS", 0, &v.v, nullptr, nullptr))) out.className = WmiText(v.v);
  }
  {
    WmiVariant v;
    if (SUCCEEDED(object->Get(L"__RELPATH", 0, &v.v, nullptr, nullptr))) out.path = WmiText(v.v);
  }
  if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return out;
  for (;;) {
    Bstr name;
    WmiVariant value;
    CIMTYPE type = 0;
    if (object->Next(0, name.put(), &value.v, &type, nullptr) != WBEM_S_NO_ERROR) break;
    WmiProperty property;
    property.name = win32::Narrow(name.view());
    property.cimType = type;
    property.null = value.v.vt == VT_NULL || value.v.vt == VT_EMPTY;
    if (!property.null && (type & CIM_FLAG_ARRAY)) property.values = WmiTexts(value.v);
    else if (!property.null) property.value = WmiText(value.v);
    out.properties.push_back(std::move(property));
  }
  object->EndEnumeration();
  return out;
}

// One value for Put, of a property's element type, from its text.
bool WmiScalarOf(int32_t cimType, const std::string& text, VARIANT& v);

// An array's value for Put: a safe array of the element type WMI takes.
bool WmiArrayOf(const WmiProperty& property, VARIANT& v) {
  VariantInit(&v);
  const int32_t element = property.cimType & ~CIM_FLAG_ARRAY;
  VARIANT first;
  if (!WmiScalarOf(element, property.values.empty() ? std::string() : property.values.front(), first)) return false;
  const VARTYPE type = first.vt;
  VariantClear(&first);
  SAFEARRAY* array = SafeArrayCreateVector(type, 0, static_cast<ULONG>(property.values.size()));
  if (!array) return false;
  for (LONG i = 0; i < static_cast<LONG>(property.values.size()); ++i) {
    VARIANT item;
    if (!WmiScalarOf(element, property.values[static_cast<std::size_t>(i)], item)) {
      SafeArrayDestroy(array);
      return false;
    }
    // Strings are given as the BSTR itself, numbers by their storage.
    const HRESULT hr = SafeArrayPutElement(array, &i, type == VT_BSTR ? static_cast<void*>(item.bstrVal) : &item.lVal);
    VariantClear(&item);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return false;
    }
  }
  v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
  v.parray = array;
  return true;
}

// A property's value for Put, from its type and text; false for a type not kept.
bool WmiValueOf(const WmiProperty& property, VARIANT& v) {
  VariantInit(&v);
  if (property.null) {
    v.vt = VT_NULL;
    return true;
  }
  if (property.IsArray()) return WmiArrayOf(property, v);
  return WmiScalarOf(property.cimType, property.value, v);
}

bool WmiScalarOf(int32_t cimType, const std::string& text, VARIANT& v) {
  VariantInit(&v);
  switch (cimType) {
    case CIM_BOOLEAN:
      v.vt = VT_BOOL;
      v.boolVal = text == "true" ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
      v.vt = VT_I4;
      v.lVal = static_cast<LONG>(std::strtoll(text.c_str(), nullptr, 10));
      if (cimType == CIM_UINT8) v.vt = VT_UI1, v.bVal = static_cast<BYTE>(v.lVal);
      else if (cimType == CIM_SINT16) v.vt = VT_I2, v.iVal = static_cast<SHORT>(v.lVal);
      return true;
    case CIM_REAL32:
    case CIM_REAL64:
      v.vt = VT_R8;
      v.dblVal = std::strtod(text.c_str(), nullptr);
      return true;
    default: {  // strings, references, dates and 64-bit numbers are strings to WMI
      const std::wstring wide = win32::Widen(text);
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      return true;
    }
  }
}

class SystemWmiStore : public WmiSubscriptionStore {
 public:
  std::optional<std::vector<WmiInstance>> Instances(std::string_view wmiNamespace, std::string_view className,
                                                    std::string& error) override {
    win32::ComScope com;
    win32::ComPtr<IWbemServices> services;
    if (const HRESULT hr = Connect(wmiNamespace, services); FAILED(hr)) {
      error = "WMI's namespace " + std::string(wmiNamespace) +
              " cannot be opened: " + win32::SystemErrorText(static_cast<uint32_t>(hr));
      return std::nullopt;
    }
    win32::ComPtr<IEnumWbemClassObject> found;
    const Bstr language("WQL"), query("SELECT * FROM " + std::string(className));
    HRESULT hr = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                     nullptr, found.put());
    std::vector<WmiInstance> out;
    if (static_cast<uint32_t>(hr) == static_cast<uint32_t>(WBEM_E_INVALID_CLASS)) return out;  // a namespace without the class holds none
    if (FAILED(hr) || !found) {
      error = "WMI cannot list " + std::string(className) + ": " + win32::SystemErrorText(static_cast<uint32_t>(hr));
      return std::nullopt;
    }
    // At most this many: a namespace flooded with instances must not stop the scan.
    constexpr std::size_t kMaxInstances = 10000;
    while (out.size() < kMaxInstances) {
      win32::ComPtr<IWbemClassObject> object;
      ULONG returned = 0;
      hr = found->Next(30000, 1, object.put(), &returned);
      if (hr != WBEM_S_NO_ERROR || returned == 0 || !object) break;
      out.push_back(InstanceOf(object.get()));
    }
    return out;
  }

  uint32_t Get(std::string_view wmiNamespace, std::string_view path, WmiInstance& out) override {
    win32::ComScope com;
    win32::ComPtr<IWbemServices> services;
    if (const HRESULT hr = Connect(wmiNamespace, services); FAILED(hr)) return WmiError(hr);
    win32::ComPtr<IWbemClassObject> object;
    const Bstr objectPath(path);
    const HRESULT hr = services->GetObject(objectPath.get(), 0, nullptr, object.put(), nullptr);
    if (FAILED(hr) || !object) return FAILED(hr) ? WmiError(hr) : ERROR_FILE_NOT_FOUND;
    out = InstanceOf(object.get());
    return ERROR_SUCCESS;
  }

  uint32_t Delete(std::string_view wmiNamespace, std::string_view path) override {
    win32::ComScope com;
    win32::ComPtr<IWbemServices> services;
    if (const HRESULT hr = Connect(wmiNamespace, services); FAILED(hr)) return WmiError(hr);
    const Bstr objectPath(path);
    const HRESULT hr = services->DeleteInstance(objectPath.get(), 0, nullptr, nullptr);
    return FAILED(hr) ? WmiError(hr) : ERROR_SUCCESS;
  }

  uint32_t Create(std::string_view wmiNamespace, const WmiInstance& instance) override {
    win32::ComScope com;
    win32::ComPtr<IWbemServices> services;
    if (const HRESULT hr = Connect(wmiNamespace, services); FAILED(hr)) return WmiError(hr);
    win32::ComPtr<IWbemClassObject> cls, made;
    const Bstr className(instance.className);
    HRESULT hr = services->GetObject(className.get(), 0, nullptr, cls.put(), nullptr);
    if (SUCCEEDED(hr) && cls) hr = cls->SpawnInstance(0, made.put());
    if (FAILED(hr) || !made) return FAILED(hr) ? WmiError(hr) : ERROR_INVALID_DATA;
    for (const WmiProperty& property : instance.properties) {
      if (property.null || WmiSetsItself(property.name)) continue;
      VARIANT v;
      if (!WmiValueOf(property, v)) continue;  // not made: the restore reads it back and says so
      const std::wstring name = win32::Widen(property.name);
      hr = made->Put(name.c_str(), 0, &v, 0);
      VariantClear(&v);
      if (FAILED(hr)) return WmiError(hr);
    }
    hr = services->PutInstance(made.get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr);
    return FAILED(hr) ? WmiError(hr) : ERROR_SUCCESS;
  }

 private:
  static HRESULT Connect(std::string_view wmiNamespace, win32::ComPtr<IWbemServices>& services) {
    win32::ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator.put_void());
    if (FAILED(hr) || !locator) return FAILED(hr) ? hr : E_FAIL;
    const Bstr name(wmiNamespace);
    hr = locator->ConnectServer(name.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr) || !services) return FAILED(hr) ? hr : E_FAIL;
    CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return S_OK;
  }
};

}  // namespace

bool WmiSetsItself(std::string_view propertyName) { return AsciiUpper(propertyName) == "CREATORSID"; }

std::vector<std::string> WmiPropertiesNotKept(const WmiInstance& wanted, const WmiInstance& made) {
  std::vector<std::string> lost;
  for (const WmiProperty& p : wanted.properties) {
    if (WmiSetsItself(p.name)) continue;
    const WmiProperty* there = nullptr;
    for (const WmiProperty& m : made.properties)
      if (AsciiUpper(m.name) == AsciiUpper(p.name)) there = &m;
    const bool same = there ? (p.null ? there->null
                                      : !there->null && (p.IsArray() ? there->values == p.values : there->value == p.value))
                            : p.null;
    if (!same) lost.push_back(p.name);
  }
  return lost;
}

std::string WmiInstance::Text(std::string_view name) const {
  for (const WmiProperty& property : properties)
    if (AsciiUpper(property.name) == AsciiUpper(name)) return property.null ? std::string() : property.value;
  return {};
}

std::string WmiInstanceText(const WmiInstance& instance) {
  json j;
  j["class"] = instance.className;
  j["path"] = instance.path;
  j["properties"] = json::array();
  for (const WmiProperty& p : instance.properties) {
    json property = {{"name", p.name}, {"type", p.cimType}, {"value", p.value}, {"null", p.null}};
    if (p.IsArray()) property["values"] = p.values;
    j["properties"].push_back(std::move(property));
  }
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<WmiInstance> WmiInstanceFromText(std::string_view text) {
  const json j = json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  const auto cls = j.find("class"), path = j.find("path"), properties = j.find("properties");
  if (cls == j.end() || !cls->is_string() || path == j.end() || !path->is_string() || properties == j.end() ||
      !properties->is_array())
    return std::nullopt;
  WmiInstance out;
  out.className = cls->get<std::string>();
  out.path = path->get<std::string>();
  for (const json& p : *properties) {
    if (!p.is_object() || !p.contains("name") || !p["name"].is_string()) return std::nullopt;
    WmiProperty property;
    property.name = p["name"].get<std::string>();
    if (p.contains("type") && p["type"].is_number_integer()) property.cimType = p["type"].get<int32_t>();
    if (p.contains("value") && p["value"].is_string()) property.value = p["value"].get<std::string>();
    if (p.contains("null") && p["null"].is_boolean()) property.null = p["null"].get<bool>();
    if (p.contains("values")) {
      if (!p["values"].is_array()) return std::nullopt;
      for (const json& element : p["values"]) {
        if (!element.is_string()) return std::nullopt;
        property.values.push_back(element.get<std::string>());
      }
    }
    out.properties.push_back(std::move(property));
  }
  return out;
}

std::string WmiRelativePath(std::string_view reference) {
  // "\\HOST\root\subscription:Class.Key=…": the part after the namespace's colon.
  if (reference.starts_with("\\\\") || reference.starts_with("//")) {
    const auto colon = reference.find(':');
    if (colon != std::string_view::npos) reference.remove_prefix(colon + 1);
  } else if (const auto colon = reference.find(':'); colon != std::string_view::npos) {
    const auto dot = reference.find('.');
    if (dot == std::string_view::npos || colon < dot) reference.remove_prefix(colon + 1);
  }
  return std::string(reference);
}

bool SameWmiPath(std::string_view a, std::string_view b) {
  return AsciiUpper(WmiRelativePath(a)) == AsciiUpper(WmiRelativePath(b));
}

WmiSubscriptionStore& WmiStore() {
  static SystemWmiStore system;
  return InstalledWmiStore() ? *InstalledWmiStore() : system;
}

ScopedWmiStore::ScopedWmiStore(WmiSubscriptionStore& store) : ScopedOverride(InstalledWmiStore(), &store) {}

}  // namespace wl
