// ListingWalk.h -- the entries of an UnZip or List collection, walked in the archive's order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "client/VariantValue.h"
#include "frame/automation/IEntryDetails.h"

/// One collection item as the command prints it.
struct ListedEntry {
  std::string name;
  std::string type;                ///< "File" or "Dir"
  LONGLONG size = 0;               ///< the entry's Size: its exact uncompressed size
  std::string savedName;
  std::string passwordRequired;    ///< "Yes" or "No"
  std::string notExtractedReason;  ///< ErrorReason: why unzip did not write the entry
  EntryDetails details;            ///< filled when asked for (list -v)
};

/// The members a subcommand prints; the others are not asked for.
struct WantedMembers {
  bool name = true;
  bool size = true;
  bool savedName = true;
  bool passwordRequired = true;
  bool details = false;
  bool errorReason = false;  ///< read for every entry (JSON), not only for those not written
};

/// Hands each entry of `collectionValue` to `visit` (with its position from 0) in the archive's
/// order, first entry first, and gives their number. The collection keeps its own order (last
/// entry first), so the walk reads it by index from its Count down to 1; nothing is kept between
/// entries, so 65535 entries cost no more memory than one. unzip's entries carry their name and
/// reason only when they were not written.
std::size_t WalkListing(const VariantValue& collectionValue, const WantedMembers& wanted,
                        const std::function<void(const ListedEntry&, std::size_t)>& visit);
