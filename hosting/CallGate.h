// CallGate.h -- the one gate an archive method passes before it opens anything.
#pragma once

#include "hosting/HostingRequest.h"

/// The last of a method's checks, after its files and folders were found to exist: the Security
/// Box (`CheckSecurityBox`), then the host's own confinement, which the installed page request
/// answers path by path (`PageRequest::MayUsePath`) for every path the method touches, whether
/// or not a Security Box applies. True lets the method go on; false is a refusal with its text in
/// `errorReason` (the Security Box's, or the host's own words). Never throws.
bool CheckCallGate(HostingRequest& request);
