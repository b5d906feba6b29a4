#include "undo/kinds/certificate.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void CertificateChange::ToJson(Json& j) const { manifest::StoreEntryToJson(kept, j); }

CertificateChange CertificateChange::FromJson(const Json& j) { return {manifest::StoreEntryFrom(j)}; }

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {

bool CertificateChange::Records(WriteKind kind) {
  return kind == WriteKind::DeleteCertificate || kind == WriteKind::AddCertificate;
}

WriteResult CertificateChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  const bool remove = r.kind == WriteKind::DeleteCertificate;
  StoreEntry kept;
  kept.store = r.target;
  kept.entry = r.name;
  // The certificate as the store holds it now, when it is there.
  std::optional<std::vector<uint8_t>> element = CertificateElement(r.target, r.name);
  if (!element && remove && !r.data.empty()) element = r.data;
  kept.existed = element.has_value();
  if (element) kept.text = HexText(*element);
  c.Record(std::string(WriteKindName(r.kind)),
           (remove ? "Delete the certificate " + r.name + " from " : "Add the certificate " + r.name + " to ") +
               r.target,
           CertificateChange{std::move(kept)});
  return {};
}

ItemCheck CertificateChange::Check(const CheckContext&) const {
  const std::optional<bool> there = CertificateInStore(kept.store, kept.entry);
  if (!there) return State(ItemState::Unrestorable, "the certificate store cannot be opened");
  if (kept.existed && kept.text.empty())
    return State(ItemState::Unrestorable, "the certificate was not kept in the backup");
  return *there == kept.existed ? State(ItemState::InPlace) : State(ItemState::Restorable);
}

WriteResult CertificateChange::Restore(RestoreContext&) const {
  if (!kept.existed) return GoneAlready(DeleteCertificate(kept.store, kept.entry));
  return AddCertificate(kept.store, BytesFromHex(kept.text).value_or(std::vector<uint8_t>{}));
}

}  // namespace wl::undo
#endif
