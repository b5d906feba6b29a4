// The write routines of the system's certificate stores.
#include "sysroutines/system_write.h"

#include <wincrypt.h>

#include <memory>

#include "sysroutines/write_gate.h"
#include "win32/unicode.h"

namespace wl {

namespace {

struct StoreCloser {
  void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); }
};
using UniqueCertStore = std::unique_ptr<void, StoreCloser>;
struct CertFreer {
  void operator()(PCCERT_CONTEXT c) const { CertFreeCertificateContext(c); }
};
using UniqueCert = std::unique_ptr<const CERT_CONTEXT, CertFreer>;

// "LocalMachine\ROOT" -> the location flag and "ROOT"; 0 for an unknown location.
DWORD StoreLocation(std::string_view store, std::wstring& name) {
  const auto slash = store.find('\\');
  if (slash == std::string_view::npos || slash + 1 >= store.size()) return 0;
  std::string location(store.substr(0, slash));
  for (char& c : location)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  name = win32::Widen(store.substr(slash + 1));
  if (location == "localmachine") return CERT_SYSTEM_STORE_LOCAL_MACHINE;
  if (location == "currentuser") return CERT_SYSTEM_STORE_CURRENT_USER;
  if (location == "localmachinegrouppolicy") return CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY;
  if (location == "localmachineenterprise") return CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE;
  if (location == "currentusergrouppolicy") return CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY;
  return 0;
}

UniqueCertStore OpenCertStore(std::string_view store, bool write, DWORD& error) {
  std::wstring name;
  const DWORD location = StoreLocation(store, name);
  if (!location) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  // Reading never makes a store; adding to one that was never used does.
  const DWORD flags = location | (write ? 0 : CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG);
  // The store's own registry part, not the collection the system store is
  // (the user's ROOT shows the machine's roots too): what is added or
  // deleted there stays so.
  UniqueCertStore s(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, flags, name.c_str()));
  error = s ? ERROR_SUCCESS : GetLastError();
  return s;
}

std::vector<uint8_t> HashBytes(std::string_view hex) {
  std::vector<uint8_t> out;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return {};
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out.size() == 20 ? out : std::vector<uint8_t>{};
}

UniqueCert FindBySha1(HCERTSTORE store, std::string_view sha1) {
  std::vector<uint8_t> hash = HashBytes(sha1);
  if (hash.empty()) return nullptr;
  CRYPT_HASH_BLOB blob{static_cast<DWORD>(hash.size()), hash.data()};
  return UniqueCert(CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH,
                                               &blob, nullptr));
}

std::string Sha1Of(const uint8_t* data, DWORD size) {
  BYTE hash[20];
  DWORD n = sizeof hash;
  if (!CryptHashCertificate(0, CALG_SHA1, 0, data, size, hash, &n) || n != 20) return {};
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (BYTE b : hash) {
    out += hex[b >> 4];
    out += hex[b & 15];
  }
  return out;
}

}  // namespace

std::optional<bool> CertificateInStore(std::string_view store, std::string_view sha1) {
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, false, error);
  if (!s && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return false;  // a store never used
  if (!s) return std::nullopt;
  return FindBySha1(s.get(), sha1) != nullptr;
}

std::vector<uint8_t> ElementOf(PCCERT_CONTEXT cert) {
  std::vector<uint8_t> out;
  DWORD size = 0;
  if (CertSerializeCertificateStoreElement(cert, 0, nullptr, &size) && size) {
    out.resize(size);
    if (!CertSerializeCertificateStoreElement(cert, 0, out.data(), &size)) size = 0;
    out.resize(size);
  }
  if (out.empty()) out.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
  return out;
}

std::optional<std::vector<uint8_t>> CertificateElement(std::string_view store, std::string_view sha1) {
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, false, error);
  if (!s) return std::nullopt;
  const UniqueCert cert = FindBySha1(s.get(), sha1);
  if (!cert) return std::nullopt;
  return ElementOf(cert.get());
}

WriteResult DeleteCertificate(std::string_view store, std::string_view sha1) {
  WriteRequest request{WriteKind::DeleteCertificate, std::string(store), std::string(sha1)};
  DWORD error = 0;
  if (CertificateInStore(store, sha1) == false) return gate::Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the store.");
  const UniqueCertStore s = OpenCertStore(store, true, error);
  if (!s) return gate::Failure(request, error, "the store cannot be opened.");
  UniqueCert cert = FindBySha1(s.get(), sha1);
  if (!cert) return gate::Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the store.");
  // What a backup needs to put it back: the store's element (the
  // certificate with its properties), else the certificate alone.
  request.data = ElementOf(cert.get());
  if (auto refused = gate::Intercepted(request)) return *refused;
  // The deletion frees the context it is given.
  if (!CertDeleteCertificateFromStore(cert.release())) return gate::Failure(request, GetLastError());
  return gate::Done();
}

WriteResult AddCertificate(std::string_view store, const std::vector<uint8_t>& bytes) {
  WriteRequest request{WriteKind::AddCertificate, std::string(store), {}};
  request.data = bytes;
  // The thumbprint: of the element's certificate, or of the bytes themselves.
  PCCERT_CONTEXT parsed = nullptr;
  UniqueCertStore memory(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (memory && !bytes.empty()) {
    const void* context = nullptr;
    DWORD type = 0;
    if (CertAddSerializedElementToStore(memory.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        CERT_STORE_ADD_ALWAYS, 0, CERT_STORE_CERTIFICATE_CONTEXT_FLAG, &type,
                                        &context) &&
        type == CERT_STORE_CERTIFICATE_CONTEXT) {
      parsed = static_cast<PCCERT_CONTEXT>(context);
    }
    if (!parsed)
      parsed = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, bytes.data(),
                                            static_cast<DWORD>(bytes.size()));
  }
  const UniqueCert cert(parsed);
  if (cert) request.name = Sha1Of(cert->pbCertEncoded, cert->cbCertEncoded);
  if (!cert || request.name.empty()) return gate::Failure(request, ERROR_INVALID_DATA, "the bytes are not a certificate.");
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, true, error);
  if (!s) return gate::Failure(request, error, "the store cannot be opened.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  BOOL added = CertAddSerializedElementToStore(s.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                               CERT_STORE_ADD_REPLACE_EXISTING, 0, CERT_STORE_CERTIFICATE_CONTEXT_FLAG,
                                               nullptr, nullptr);
  if (!added)
    added = CertAddEncodedCertificateToStore(s.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pbCertEncoded,
                                             cert->cbCertEncoded, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) return gate::Failure(request, GetLastError());
  return gate::Done();
}

}  // namespace wl
