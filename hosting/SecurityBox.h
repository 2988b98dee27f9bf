// SecurityBox.h -- the hosting policy's gate in front of every archive method.
#pragma once

#include "hosting/HostingRequest.h"

/// First step of every archive method, right after `operation` is set: trims `zipFile` in place;
/// an empty name writes "Please specify the valid ZIP file name" into `errorReason` and gives
/// false. Then locates the two settings files, setting `adminIniPath`, `webSiteIniPath` and
/// `securityBypass`. Never throws.
bool LocateSecuritySettings(HostingRequest& request);

/// Last of a method's checks, after its files and folders were found to exist and before any
/// archive is opened: true lets the method go on; false means refused, with the refusal text in
/// `errorReason`. Never throws.
bool CheckSecurityBox(HostingRequest& request);
