// SecurityBox.h -- the hosting policy's gate in front of every archive method.
#pragma once

#include <string>

#include "hosting/HostingRequest.h"

/// First step of every archive method, right after `operation` is set: trims `zipFile` in place;
/// an empty name writes "Please specify the valid ZIP file name" into `errorReason` and gives
/// false. Then locates "Admin.ini" and "WebSite.ini" in the installation folder, setting
/// `adminIniPath`, `webSiteIniPath` (each the full path or the failure text of its look-up) and
/// `securityBypass` (1 when either file was not found, so that the policy does not apply; the
/// second file is not looked for when the first is missing). Never throws.
bool LocateSecuritySettings(HostingRequest& request);

/// Last of a method's checks, after its files and folders were found to exist and before any
/// archive is opened: true lets the method go on; false means refused, with the refusal text in
/// `errorReason`. Reads, in this order and only as far as the decision needs: Admin.ini
/// [Settings] "Installed", the registry number "EnableSecurityBox", [Settings] "Applied", the
/// page's path, WebSite.ini [Path], [Security] and the box's own section; then the paths.
/// Sets `requestPath` to the page's path (or the request failure text), then to the box folder.
/// Never throws for an ordinary failure.
bool CheckSecurityBox(HostingRequest& request);

/// Tests the paths the method will touch against the box folder in `requestPath`: `zipFile`,
/// then for Zip every queued file and folder in queue order, for UnZip and Extract
/// `targetPath`. Each path must hold no parent step ("Invalid path specified") and lie in the
/// folder (`PathIsInFolder`); the first path that does not is named in the refusal text. True
/// when every path passes.
bool CheckPathsInBox(HostingRequest& request, const std::string& methodName);

/// "Zip", "UnZip", "List", "Extract" or "Delete" for operations 0 to 4; "" for any other.
std::string MethodNameOf(int32_t operation);
