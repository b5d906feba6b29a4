#include "core/system_source.h"

#include "core/ascii.h"
#include "core/hive.h"
#include "core/utf16_text.h"

namespace wl {

const char* SourceRootName(SourceRoot root) {
  switch (root) {
    case SourceRoot::LocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case SourceRoot::CurrentUser:
      return "HKEY_CURRENT_USER";
    case SourceRoot::ClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case SourceRoot::Users:
      return "HKEY_USERS";
  }
  return "";
}

std::optional<SourceRoot> SourceRootFromName(std::string_view name) {
  struct Form {
    const char* full;
    const char* shortForm;
    SourceRoot root;
  };
  static constexpr Form kForms[] = {
      {"HKEY_LOCAL_MACHINE", "HKLM", SourceRoot::LocalMachine},
      {"HKEY_CURRENT_USER", "HKCU", SourceRoot::CurrentUser},
      {"HKEY_CLASSES_ROOT", "HKCR", SourceRoot::ClassesRoot},
      {"HKEY_USERS", "HKU", SourceRoot::Users},
  };
  for (const Form& f : kForms)
    if (EqualsNoCase(name, f.full) || EqualsNoCase(name, f.shortForm)) return f.root;
  return std::nullopt;
}

std::string SourceValueText(const SourceValue& value) { return hive::ValueText(value.type, value.data); }

std::optional<std::string> SourceValueString(const SourceValue& value) {
  if (value.type != hive::kRegSz && value.type != hive::kRegExpandSz && value.type != hive::kRegMultiSz)
    return std::nullopt;
  return hive::ValueText(value.type, value.data);
}

std::vector<std::string> SourceMultiStringParts(const SourceValue& value) {
  std::vector<std::string> parts;
  if (value.type != hive::kRegMultiSz) return parts;
  std::u16string all(value.data.size() / 2, u'\0');
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(u'\0', start);
    if (end == std::u16string::npos) end = all.size();
    if (end > start) parts.push_back(Utf8FromUtf16(std::u16string_view(all).substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

std::optional<uint32_t> SourceValueDword(const SourceValue& value) {
  if ((value.type != hive::kRegDword && value.type != hive::kRegBinary) || value.data.size() != 4) return std::nullopt;
  return static_cast<uint32_t>(value.data[0]) | static_cast<uint32_t>(value.data[1]) << 8 |
         static_cast<uint32_t>(value.data[2]) << 16 | static_cast<uint32_t>(value.data[3]) << 24;
}

std::string CleanKeyPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string SourceKeyText(SourceRoot root, std::string_view path, const SystemUser* user) {
  std::string text;
  if (root == SourceRoot::CurrentUser && user && !user->current)
    text = std::string("HKEY_USERS\\") + user->sid;
  else
    text = SourceRootName(root);
  if (!path.empty()) {
    text += '\\';
    text += path;
  }
  return text;
}

std::vector<std::string> SourceKey::SubKeyNames(bool* whole) const {
  bool all = true;
  auto names = node_->SubKeyNames(all);
  if (whole) *whole = all;
  return names;
}

std::vector<SourceValue> SourceKey::Values(bool* whole) const {
  bool all = true;
  auto values = node_->Values(all);
  if (whole) *whole = all;
  return values;
}

std::vector<std::string> SourceKey::ValueNames() const {
  std::vector<std::string> names;
  for (SourceValue& v : Values()) names.push_back(std::move(v.name));
  return names;
}

std::optional<SourceValue> SourceKey::Read(std::string_view name) const { return node_->Read(name); }

std::optional<std::string> SourceKey::ReadString(std::string_view name) const {
  const auto v = Read(name);
  return v ? SourceValueString(*v) : std::nullopt;
}

std::optional<std::string> SourceKey::ReadText(std::string_view name) const {
  const auto v = Read(name);
  if (!v) return std::nullopt;
  return SourceValueText(*v);
}

std::optional<uint32_t> SourceKey::ReadDword(std::string_view name) const {
  const auto v = Read(name);
  return v ? SourceValueDword(*v) : std::nullopt;
}

uint64_t SourceKey::LastWriteTime() const { return node_->LastWriteTime(); }

std::string SourceKey::LastWriteText() const { return hive::FileTimeText(LastWriteTime()); }

std::optional<SourceKey> SourceKey::Open(std::string_view subPath) const {
  const std::string sub = CleanKeyPath(subPath);
  const std::string path = sub.empty() ? path_ : path_.empty() ? sub : path_ + "\\" + sub;
  bool handled = false;
  std::shared_ptr<const SourceKeyNode> node;
  if (!sub.empty() && sub.find('\\') == std::string::npos) node = node_->Child(sub, handled);
  if (!handled) node = backend_->OpenKey(root_, user_.get(), path, view_);
  if (!node) return std::nullopt;
  SourceKey key = *this;
  key.node_ = std::move(node);
  key.text_ = text_ + "\\" + sub;
  if (sub.empty() || path_.empty()) key.text_ = SourceKeyText(root_, path, user_.get());
  key.path_ = path;
  return key;
}

SystemSource::SystemSource(std::shared_ptr<const SourceBackend> backend) : backend_(std::move(backend)) {
  if (auto user = backend_->DefaultUser()) user_ = std::make_shared<const SystemUser>(std::move(*user));
}

SystemSource SystemSource::ForUser(const SystemUser& user) const {
  SystemSource other = *this;
  other.user_ = std::make_shared<const SystemUser>(user);
  return other;
}

std::optional<SourceKey> SystemSource::Open(SourceRoot root, std::string_view path, SourceView view) const {
  const std::string clean = CleanKeyPath(path);
  if (root == SourceRoot::CurrentUser && !user_) return std::nullopt;
  auto node = backend_->OpenKey(root, user_.get(), clean, view);
  if (!node) return std::nullopt;
  SourceKey key;
  key.node_ = std::move(node);
  key.backend_ = backend_;
  if (root == SourceRoot::CurrentUser || root == SourceRoot::ClassesRoot) key.user_ = user_;
  key.root_ = root;
  key.view_ = view;
  key.text_ = SourceKeyText(root, clean, user_.get());
  key.path_ = clean;
  return key;
}

bool SystemSource::Exists(SourceRoot root, std::string_view path, SourceView view) const {
  return Open(root, path, view).has_value();
}

std::optional<SourceValue> SystemSource::ReadValue(SourceRoot root, std::string_view path, std::string_view name,
                                                   SourceView view) const {
  const auto key = Open(root, path, view);
  return key ? key->Read(name) : std::nullopt;
}

std::optional<std::string> SystemSource::ReadString(SourceRoot root, std::string_view path, std::string_view name,
                                                    SourceView view) const {
  const auto v = ReadValue(root, path, name, view);
  return v ? SourceValueString(*v) : std::nullopt;
}

std::optional<std::string> SystemSource::PathNow(std::string_view systemPath, std::string* why) const {
  std::string reason;
  auto now = backend_->PathNow(systemPath, reason);
  if (why) *why = reason;
  return now;
}

}  // namespace wl
