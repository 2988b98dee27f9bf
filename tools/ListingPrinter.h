// ListingPrinter.h -- a listing as the command prints it: a table, a verbose table, or JSON.
#pragma once

#include <cstddef>
#include <string>

#include "tools/ListingWalk.h"

/// Prints the listing's heading (nothing for JSON).
void PrintListingHeading(bool json, bool verbose);
/// Prints one entry in the chosen form; `index` counts from 0.
void PrintListingEntry(const ListedEntry& entry, std::size_t index, bool json, bool verbose);
/// Prints the listing's end: the count line, or the JSON array's close.
void PrintListingEnd(std::size_t count, bool json);

/// The name of compression method `method` as the application note numbers it (4.4.5):
/// "Stored", "Deflate", "BZip2", ... or "Unk:NNN".
std::string MethodName(unsigned method);
