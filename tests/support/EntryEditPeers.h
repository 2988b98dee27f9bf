// EntryEditPeers.h -- peer-made source archives and peer checks for the delete, replace and copy tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace brevik::test {

/// One file of a test archive: its stored name and bytes.
using EntryEditFile = std::pair<std::string, std::string>;

/// Writes `files` under `folder` and packs them, in that order, into `archive` with Info-ZIP zip
/// run inside `folder` (so the stored names are the given names). `zipOptions` are added to the
/// command (for example "-0" to store). With `streamed` zip writes to a pipe, which makes it
/// put a data descriptor after every entry. Fails the current test when zip fails.
void MakeInfoZipArchive(const std::string& folder, const std::string& archive, const std::vector<EntryEditFile>& files,
                        const std::string& zipOptions = "", bool streamed = false);

/// Runs "unzip -t" and "7zz t" on `archive`. Empty when both pass, else their output.
std::string PeerTestFailures(const std::string& archive);

/// As `PeerTestFailures` for a split archive (`archive` is its last volume): "7zz t" on the
/// volumes as they are (the one peer here that reads split volumes).
std::string PeerTestSplitFailures(const std::string& archive);

/// The bytes of entry `name` of `archive` as Info-ZIP unzip extracts them.
std::string PeerExtract(const std::string& archive, const std::string& name);

/// The entry names of `archive` in directory order, as Python's zipfile lists them.
std::vector<std::string> PeerEntryNames(const std::string& archive);

/// Where one entry lies in an archive, as Python's zipfile reads it.
struct EntryEditLayout {
  std::string name;
  unsigned long long offset = 0;       ///< local header offset
  unsigned long long span = 0;         ///< bytes up to the next local header or the directory
  unsigned long long centralSize = 0;  ///< bytes of its central directory record
};

/// The entries of `archive` in local-header order.
std::vector<EntryEditLayout> PeerEntryLayout(const std::string& archive);

}  // namespace brevik::test
