// SecurityBox.cpp -- the Tessaly Security Box: which component, method and paths a page may use.
#include "hosting/SecurityBox.h"

#include <cstdint>
#include <cstdlib>

#include "hosting/Helpers.h"
#include "hosting/OperationPaths.h"
#include "hosting/PathInFolder.h"
#include "hosting/RequestContext.h"
#include "hosting/ResolvedPath.h"
#include "hosting/SettingsFile.h"
#include "hosting/SettingsGetter.h"
#include "hosting/TextCompare.h"

namespace {

constexpr const char* kProductFullKeyPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly";
constexpr const char* kNotAllowedPrefix =
    "Please contact your hosting administrator, as you are not allowed to use ";

bool Refuse(HostingRequest& request, std::string text) {
  request.errorReason = std::move(text);
  return false;
}

std::string ComponentRefusal(const HostingRequest& request) {
  return kNotAllowedPrefix + request.componentName + " component";
}

std::string MethodRefusal(const HostingRequest& request, const std::string& methodName) {
  return kNotAllowedPrefix + methodName + " method of " + request.componentName + " component";
}

/// The switch value as a signed 32-bit number, saturating like the runtime's conversion: text
/// above 2147483647 reads as 2147483647.
int32_t SwitchValueOf(const std::string& decimalText) {
  long long value = std::strtoll(decimalText.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

/// One path of the method against the box folder; false with the refusal written. A path too
/// short to lie in the folder is refused as outside before the parent-step rule is asked. A path
/// must lie in the folder as written and as the system reaches it (`resolvedFolder`), so that a
/// link inside the box that points out of it does not pass; the path allowed is then replaced by
/// its resolved form, which the operation uses, so that what was judged is what is opened.
bool CheckOnePath(HostingRequest& request, const std::string& methodName, const std::string& resolvedFolder,
                  std::string& path) {
  const std::string outside = MethodRefusal(request, methodName) + " in " + path + " path";
  if (path.size() < request.requestPath.size()) return Refuse(request, outside);
  if (!CheckNoParentStep(path, request)) return false;
  if (!PathIsInFolder(path, request.requestPath)) return Refuse(request, outside);
  std::optional<std::string> resolved = ResolvedPath(path);
  if (!resolved || !PathIsInFolder(*resolved, resolvedFolder)) return Refuse(request, outside);
  path = std::move(*resolved);
  return true;
}

}  // namespace

std::string MethodNameOf(int32_t operation) {
  switch (operation) {
    case 0: return "Zip";
    case 1: return "UnZip";
    case 2: return "List";
    case 3: return "Extract";
    case 4: return "Delete";
    default: return std::string();
  }
}

bool LocateSecuritySettings(HostingRequest& request) {
  request.zipFile = TrimmedCopy(request.zipFile);
  if (request.zipFile.empty()) return Refuse(request, "Please specify the valid ZIP file name");
  if (!LocateSettingsFile("Admin.ini", request.adminIniPath)) {
    request.securityBypass = 1;
  } else {
    request.securityBypass = LocateSettingsFile("WebSite.ini", request.webSiteIniPath) ? 0 : 1;
  }
  return true;
}

bool CheckSecurityBox(HostingRequest& request) {
  if (request.securityBypass != 0) return true;
  SettingsGetter settings;
  const std::string& component = request.componentName;

  if (!ListContainsItem(settings.GetIniString("Settings", "Installed", request.adminIniPath),
                        component))
    return true;

  std::string switchText;
  if (!settings.GetRegistryValue(kProductFullKeyPath, SettingsGetter::kNumberValue,
                                 "EnableSecurityBox", switchText))
    return Refuse(request, switchText);
  // Only the low 16 bits switch the policy on.
  if ((static_cast<uint32_t>(SwitchValueOf(switchText)) & 0xFFFFu) == 0) return true;

  if (!ListContainsItem(settings.GetIniString("Settings", "Applied", request.adminIniPath),
                        component))
    return true;

  const std::string methodName = MethodNameOf(request.operation);
  if (!GetPagePhysicalPath(request.requestPath))
    return Refuse(request, request.requestPath +
                               "( Unable to proceed further as calling request object not found. "
                               "Please free " +
                               component + " component from Tessaly Security Box to make " +
                               methodName + " method successfull. )");

  // A page path with a parent step may name one box's folder while the page lies in another.
  std::string line;
  if (!HasParentStep(request.requestPath))
    line = settings.FindEntryByPathPrefix("Path", request.requestPath, request.webSiteIniPath);
  size_t equals = line.find('=');
  if (equals == std::string::npos) return Refuse(request, ComponentRefusal(request));

  // Both halves stay untrimmed, as the administrator wrote them.
  const std::string boxName = line.substr(0, equals);
  request.requestPath = line.substr(equals + 1);

  if (!ListContainsItem(settings.GetIniString("Security", boxName, request.webSiteIniPath),
                        component))
    return Refuse(request, ComponentRefusal(request));

  const std::string methods = settings.GetIniString(boxName, component, request.webSiteIniPath);
  if (EqualsTextNoCase(methods, "All") || ListContainsItem(methods, methodName))
    return CheckPathsInBox(request, methodName);
  return Refuse(request, MethodRefusal(request, methodName));
}

bool CheckPathsInBox(HostingRequest& request, const std::string& methodName) {
  // The administrator may name the box by a path through a link (/var/www -> /srv/www).
  const std::string resolvedFolder = ResolvedPath(request.requestPath).value_or(request.requestPath);
  return ForEachOperationPath(request, [&](std::string& path) {
    return CheckOnePath(request, methodName, resolvedFolder, path);
  });
}
