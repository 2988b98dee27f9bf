// RepairCommand.h -- `brevik repair`: a new central directory for the finished entries of a damaged archive.
#pragma once

#include <string>

/// Scans the archive at `archivePath` for its finished entries (see `ScanForEntries`), prints one
/// line per entry kept and per local header dropped (with its reason) on standard output, then
/// writes a central directory naming the kept entries at the end of the file. Nothing else in
/// the file changes; when the archive's own directory opens and names just those entries, nothing
/// is written at all. Returns the exit status: 0 when the directory was written, 1 when the
/// archive could not be opened, read or written (the reason is on standard error).
int RunRepairCommand(const std::string& archivePath);
