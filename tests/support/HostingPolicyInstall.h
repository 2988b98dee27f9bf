// HostingPolicyInstall.h -- a scratch Security Box installation: registry file, INI files, sites.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "support/ScratchDir.h"

namespace brevik::test {

/// Sets (or, with no value, unsets) one environment variable for a scope; the destructor brings
/// back the value it had before.
class HostingScopedEnv {
public:
  HostingScopedEnv(std::string name, const std::optional<std::string>& value);
  ~HostingScopedEnv();
  HostingScopedEnv(const HostingScopedEnv&) = delete;
  HostingScopedEnv& operator=(const HostingScopedEnv&) = delete;

private:
  std::string name_;
  std::optional<std::string> previous_;
};

/// A policy as a hosting administrator lays it out, in a scratch folder: the registry file
/// "registry.reg" (BREVIK_REGISTRY points at it while the object lives), the installation
/// folder "tessaly" and site folders under "sites". No CGI request is in the environment while
/// the object lives (GATEWAY_INTERFACE and SCRIPT_FILENAME are unset). Nothing is written until
/// asked for: a fresh object is a machine without the product family.
class HostingPolicyInstall {
public:
  HostingPolicyInstall();

  /// The scratch root, without a trailing "/".
  const std::string& root() const { return scratch_.path(); }
  /// root() + "/tessaly", the folder for "Admin.ini" and "WebSite.ini" (created).
  std::string installFolder() const { return root() + "/tessaly"; }
  /// root() + "/sites/" + name, created with its parents.
  std::string SiteFolder(const std::string& name) const;

  /// Writes the registry file: a REGEDIT4 header, the key
  /// [HKEY_LOCAL_MACHINE\SOFTWARE\Halden Works\Tessaly], then `valueLines` as given (for example
  /// "\"EnableSecurityBox\"=dword:00000001\n").
  void WriteRegistry(const std::string& valueLines) const;
  /// WriteRegistry with "InstallationPath" = `installationPath` and, when given, the
  /// "EnableSecurityBox" number.
  void WriteRegistryValues(const std::string& installationPath,
                           std::optional<uint32_t> enableSecurityBox) const;

  /// Writes "Admin.ini" / "WebSite.ini" in the installation folder with exactly `text`.
  void WriteAdminIni(const std::string& text) const;
  void WriteWebSiteIni(const std::string& text) const;

  /// The common policy: InstallationPath and EnableSecurityBox 1; Admin.ini installing and
  /// applying Brevik; WebSite.ini with one box "SiteA" for SiteFolder("a") that allows Brevik
  /// with the method list `methods`.
  void WriteStandardPolicy(const std::string& methods) const;

private:
  ScratchDir scratch_;
  HostingScopedEnv registry_;
  HostingScopedEnv gateway_;
  HostingScopedEnv scriptFilename_;
};

}  // namespace brevik::test
