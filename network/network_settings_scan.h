// The "Network Settings" scan: the hosts file (and the one the resolver's
// DataBasePath names, when that differs), the proxies and proxy scripts of
// the user, the machine and their policies, the WinHTTP proxy, and the DNS
// servers set by hand or given by DHCP. Reads only; the repairs go through
// the write routines (backed up).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "network/network_settings_rules.h"
#include "refdb/reference_tables.h"
#include "core/page_text.h"
#include "judge/judge.h"
#include "sysroutines/system_write.h"

namespace wl {

// Where the scan looks; tests point it elsewhere.
struct NetworkSettingsPlaces {
  std::vector<std::string> hostsFiles;  // full paths
  // "Software\Microsoft\Windows\CurrentVersion\Internet Settings" under HKCU
  // and HKLM, and the policies' key of the same name.
  std::string internetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  std::string internetPolicies = "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  // Under HKLM: the resolver's parameters (IPv4 and IPv6).
  std::string tcpip = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
  std::string tcpip6 = "SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters";
  // The machine's WinHTTP proxy as the system gives it; null: not asked.
  std::function<std::optional<WinHttpProxy>()> winHttpProxy;
  // The certificate stores whose roots are listed, opened read-only; a root
  // of the user's store that the machine's stores hold too is listed once
  // (the user's store shows the machine's roots as well).
  std::vector<std::string> rootStores;
  // The Winsock catalogs (protocol and namespace providers) as the setup
  // routines list them; null: not asked.
  std::function<std::vector<WinsockProvider>()> winsockProviders;
  // Under HKLM: the key whose Protocol_Catalog9 and NameSpace_Catalog5 keep
  // the catalogs (the 32-bit programs' too); empty: not read.
  std::string winsockCatalogs;

    // The system's hosts file, and the DataBasePath folder's when it differs;
  // the stores LocalMachine\ROOT, LocalMachine\AuthRoot, CurrentUser\ROOT.
  static NetworkSettingsPlaces OfThisSystem();
};

// The hosts files the system reads: %SystemRoot%\System32\drivers\etc\hosts
// and, when Tcpip\Parameters\DataBasePath names another folder, the hosts
// file there.
std::vector<std::string> SystemHostsFiles();

// The roots of the stores, read-only.
std::vector<RootCertificate> ReadRootCertificates(const std::vector<std::string>& stores);

// judge: judges the Winsock providers' DLLs (null: they are listed unjudged).
std::vector<NetworkSettingRow> ScanNetworkSettings(const ReferenceTables& tables,
                                                   const NetworkSettingsPlaces& places = NetworkSettingsPlaces::OfThisSystem(),
                                                   const Judge* judge = nullptr);

// The system's Winsock catalogs through WSCEnumProtocols and
// WSCEnumNameSpaceProviders.
std::vector<WinsockProvider> SystemWinsockProviders();
inline constexpr const char* kWinsockCatalogsKey = "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters";
// The catalogs as the registry keeps them under HKLM\<parameters>:
// Protocol_Catalog9 and NameSpace_Catalog5, each with Catalog_Entries and,
// on a 64-bit system, Catalog_Entries64 (then Catalog_Entries is the 32-bit
// programs' catalog). An entry that cannot be read is listed with why.
std::vector<WinsockProvider> ReadWinsockRegistryCatalogs(const std::string& parameters);

// Whether the row has a repair.
bool CanRepair(const NetworkSettingRow& row);
// Comments out the hosts line (the file keeps every other byte; a file
// changed since the scan is left alone), deletes the values or the
// certificate, removes the Winsock provider through the system's setup
// routines (with the protocol chains over it).
WriteResult RepairNetworkSetting(const NetworkSettingRow& row);

// The page's listing as the console prints it.
PageText NetworkSettingsPageText(const Judge& judge);
PageText NetworkSettingsPageTextOf(const std::vector<NetworkSettingRow>& rows);

}  // namespace wl
