// CZipNow.h -- the Zip operation: writes the queued files and folders into the archive.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#include "scripting/ProgressForwarder.h"
#include "scripting/ZipRequest.h"

class CZipArchive;

/// Runs `Zip` for one request on a fresh archive object and returns the result text ("" for
/// success). Never throws: engine failures become result texts, and the archive is always
/// closed, so no handle, lock or temporary file survives the call.
class CZipNow {
public:
  virtual ~CZipNow() = default;

  /// Creates (`createNew` != 0, or no archive yet) or opens for appending the archive `zipFile`,
  /// adds every queued file, then walks every queued folder, and closes the archive.
  /// Results: "" when everything was added; "Cannot open file <zipFile>. It does not appear to
  /// be a valid zip" when the archive cannot be opened or created; "Cannot add <path> to
  /// <zipFile>" for the first item that could not be added (it vanished, cannot be read, is not
  /// a regular file or folder, or the archive is full) while the others still were; the engine's
  /// description of an error that stopped the work (a full disk, a damaged archive). Entries
  /// finished before a failure stay readable.
  std::string Zip(const ZipRequest& request);

  /// Adds `folder` (trailing "/" removed), then its files in directory order, then, when
  /// `recurse`, each subfolder the same way: depth first. Hidden files are included; symbolic
  /// links to folders, FIFOs, sockets and devices are skipped, a link to a file is added as that
  /// file. Without `storeFullPath` the entry of the folder that is the archive's root path is
  /// left out (relative to itself its name would be empty); its subfolders keep theirs. The
  /// password, when not empty, is set before every add.
  void AddFolderTree(CZipArchive& archive, std::string folder, bool storeFullPath, std::string password,
                     bool recurse);

private:
  /// One file or folder to add, as the queue or the walk found it.
  struct PendingAdd {
    std::string path;
    bool storeFullPath = true;
    std::string password;              ///< set before the add when not empty
    std::optional<struct stat> known;  ///< the walk's `stat` of the path (links followed), just made
    bool seenAsFile = false;           ///< without `known`: the archive opens the path first and
                                       ///< takes its facts from the descriptor
    bool listed = false;               ///< found in a folder's listing, not queued by the script
  };

  /// The depth-first walk of `AddFolderTree`, queueing its adds.
  void WalkFolder(CZipArchive& archive, std::string folder, bool storeFullPath, const std::string& password,
                  bool recurse);
  /// `AddOne` now with one thread; with workers the add waits in `pending_` (in order) and its
  /// source is announced to the archive, so that it is read and deflated while earlier entries
  /// are written.
  void Queue(CZipArchive& archive, PendingAdd item);
  /// Announces the queued sources not yet announced, as far as the archive has room.
  void AnnounceQueued(CZipArchive& archive);
  /// Runs the oldest queued add.
  void RunOldest(CZipArchive& archive);
  /// Runs every queued add, oldest first (before the archive's root path changes, and at the end).
  void RunQueued(CZipArchive& archive);

  /// Adds one file or folder; on a refusal remembers "Cannot add ..." as the first failure,
  /// unless a listed file turned out to be the archive itself or gone.
  void AddOne(CZipArchive& archive, const PendingAdd& item);
  /// Remembers "Cannot add <path> to <zipFile>" unless an earlier failure was remembered.
  void NoteFailure(const std::string& path);

  std::string zipFile_;       ///< the archive's name, for messages
  std::string firstFailure_;  ///< "Cannot add ..." for the first item that was not added
  int countBeforeAdd_ = 0;      ///< entries before the add in progress
  bool addInProgress_ = false;  ///< an AddFile call is running (so a failure abandoned its entry)
  ProgressForwarder progress_;  ///< the host's progress view, when it installed one
  bool queueing_ = false;        ///< the archive has workers: adds wait in `pending_`
  std::deque<PendingAdd> pending_;  ///< adds not yet run, oldest first
  std::size_t announced_ = 0;       ///< how many of `pending_`, from the front, were announced
};
