// HostingPolicyInstall.cpp -- scratch Security Box installations and scoped environment values.
#include "support/HostingPolicyInstall.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/Shell.h"

namespace brevik::test {

HostingScopedEnv::HostingScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

HostingScopedEnv::~HostingScopedEnv() {
  if (previous_)
    setenv(name_.c_str(), previous_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

HostingPolicyInstall::HostingPolicyInstall()
    : registry_("BREVIK_REGISTRY", scratch_ / "registry.reg"),
      gateway_("GATEWAY_INTERFACE", std::nullopt),
      scriptFilename_("SCRIPT_FILENAME", std::nullopt) {
  std::filesystem::create_directories(installFolder());
}

std::string HostingPolicyInstall::SiteFolder(const std::string& name) const {
  std::string folder = root() + "/sites/" + name;
  std::filesystem::create_directories(folder);
  return folder;
}

void HostingPolicyInstall::WriteRegistry(const std::string& valueLines) const {
  WriteFileBytes(scratch_ / "registry.reg",
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly]\n" +
                     valueLines);
}

void HostingPolicyInstall::WriteRegistryValues(const std::string& installationPath,
                                               std::optional<uint32_t> enableSecurityBox) const {
  std::string lines = "\"InstallationPath\"=\"" + installationPath + "\"\n";
  if (enableSecurityBox) {
    char number[16];
    std::snprintf(number, sizeof number, "%08x", *enableSecurityBox);
    lines += std::string("\"EnableSecurityBox\"=dword:") + number + "\n";
  }
  WriteRegistry(lines);
}

void HostingPolicyInstall::WriteAdminIni(const std::string& text) const {
  WriteFileBytes(installFolder() + "/Admin.ini", text);
}

void HostingPolicyInstall::WriteWebSiteIni(const std::string& text) const {
  WriteFileBytes(installFolder() + "/WebSite.ini", text);
}

void HostingPolicyInstall::WriteStandardPolicy(const std::string& methods) const {
  WriteRegistryValues(installFolder(), 1);
  WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Brevik\n");
  WriteWebSiteIni("[Path]\nSiteA=" + SiteFolder("a") + "\n[Security]\nSiteA=Brevik\n[SiteA]\n" +
                  "Brevik=" + methods + "\n");
}

}  // namespace brevik::test
