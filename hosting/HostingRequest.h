// HostingRequest.h -- what the hosting policy reads and writes of one ZIP object's call.
#pragma once

#include <cstdint>
#include <string>

#include "hosting/TextList.h"

/// The record through which the ZIP object hands the hosting policy its data. The policy knows
/// nothing of the scripting layer: the object copies its request in before a call of
/// `LocateSecuritySettings` / `CheckSecurityBox` and copies `zipFile` (stored back trimmed) and
/// `errorReason` out afterwards. All text is UTF-8.
struct HostingRequest {
  /// The running archive method: -1 none, 0 Zip, 1 UnZip, 2 List, 3 Extract, 4 Delete.
  int32_t operation = -1;
  std::string zipFile;     ///< archive path
  std::string targetPath;  ///< folder that UnZip and Extract write into
  TextList files;          ///< queue filled by Add, in queue order
  TextList folders;        ///< queue filled by AddFolder, in queue order

  std::string componentName = "Brevik";  ///< this component's name in the policy
  std::string requestPath;     ///< the page's physical path, then the matched box's folder
  std::string adminIniPath;    ///< full path of "Admin.ini", or the failure text of its look-up
  std::string webSiteIniPath;  ///< full path of "WebSite.ini", or the failure text of its look-up
  int32_t securityBypass = 0;  ///< 1 when the policy is not consulted (a settings file is missing)

  std::string errorReason;  ///< the object's error text; the policy writes its refusals here
};
