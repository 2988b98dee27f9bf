// EntryReason.h -- why a listed entry was not extracted, asked of the entry object itself.
#pragma once

#include <string>

#include "frame/automation/IDispatch.h"

/// The reason `entry` (an UnZip collection item) gives for not being extracted, through its
/// IEntryOutcome interface; empty when it has none or does not answer for that interface.
std::string NotExtractedReasonOf(IDispatch* entry);
