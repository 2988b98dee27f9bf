// CZipNow.cpp -- the Zip operation and its depth-first folder walk.
#include "scripting/CZipNow.h"

#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "engine/ZipArchive.h"
#include "scripting/ArchiveCloser.h"
#include "scripting/EngineErrorText.h"
#include "scripting/WorkerThreads.h"

namespace {

// The add parameters every file and folder gets: zlib's default level, plain folders, plain
// empty files, tiny files stored, 64 KiB steps.
constexpr int kDefaultLevel = -1;
constexpr std::uint32_t kSmartFlags =
    CZipArchive::PlainDirectories | CZipArchive::PlainEmptyFiles | CZipArchive::StoreTinyFiles;
constexpr std::uint32_t kBufferBytes = 65536;

// Owns an open directory stream.
class DirectoryStream {
public:
  explicit DirectoryStream(const std::string& path) : stream_(opendir(path.c_str())) {}
  ~DirectoryStream() {
    if (stream_) closedir(stream_);
  }
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  DIR* get() const { return stream_; }

private:
  DIR* stream_;
};

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Join(const std::string& folder, const char* name) {
  return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

}  // namespace

void CZipNow::AddOne(CZipArchive& archive, const PendingAdd& item) {
  // The host asked to stop (Ctrl-C): no further entry is begun.
  if (progress_.StopRequested()) return;
  if (!item.password.empty()) archive.SetPassword(item.password.c_str());
  AddFileRequest add;
  add.sourcePath = item.path;
  add.fullPath = item.storeFullPath;
  add.level = kDefaultLevel;
  add.smartFlags = kSmartFlags;
  add.bufferSize = kBufferBytes;
  // The stat the walk just made serves the engine too: one per file instead of one more for
  // each fact. A file is otherwise opened first and judged on the open descriptor.
  if (item.known.has_value())
    add.sourceInfo = ZipSourceInfoFromStat(*item.known);
  else
    add.sourceSeenAsFile = item.seenAsFile;
  countBeforeAdd_ = archive.GetCount();
  addInProgress_ = true;
  const bool added = archive.AddFile(add);
  addInProgress_ = false;
  // The archive decides what it adds: a regular file or a folder (a FIFO or device would block
  // or never end), never its own file. The archive's own file met in a folder's listing is left
  // out without a complaint, and so is a file gone since the folder was read; a path the script
  // queued is reported.
  if (!added && !(item.listed && archive.GetAddRefusal() != AddSourceRefusal::None)) NoteFailure(item.path);
}

void CZipNow::Queue(CZipArchive& archive, PendingAdd item) {
  if (!queueing_) {
    AddOne(archive, item);
    return;
  }
  pending_.push_back(std::move(item));
  AnnounceQueued(archive);
  // Twice the sources the archive reads ahead: enough that a worker never waits for the walk.
  while (pending_.size() > 2 * (announced_ + archive.AnnounceRoom()) + 2) RunOldest(archive);
}

void CZipNow::AnnounceQueued(CZipArchive& archive) {
  while (announced_ < pending_.size() && archive.AnnounceRoom() > 0) {
    const PendingAdd& add = pending_[announced_++];
    // Files only: a folder has no data to read ahead. Whatever turns out to be no regular file
    // the worker opens without blocking, finds out and leaves to the archive's own add.
    if (add.seenAsFile || add.known.has_value()) archive.AnnounceSource(add.path, kDefaultLevel);
  }
}

void CZipNow::RunOldest(CZipArchive& archive) {
  PendingAdd add = std::move(pending_.front());
  pending_.pop_front();
  if (announced_ > 0) --announced_;
  AddOne(archive, add);
  AnnounceQueued(archive);
}

void CZipNow::RunQueued(CZipArchive& archive) {
  while (!pending_.empty()) RunOldest(archive);
}

void CZipNow::NoteFailure(const std::string& path) {
  if (firstFailure_.empty()) firstFailure_ = "Cannot add " + path + " to " + zipFile_;
}

void CZipNow::AddFolderTree(CZipArchive& archive, std::string folder, bool storeFullPath, std::string password,
                            bool recurse) {
  WalkFolder(archive, std::move(folder), storeFullPath, password, recurse);
  RunQueued(archive);
}

void CZipNow::WalkFolder(CZipArchive& archive, std::string folder, bool storeFullPath, const std::string& password,
                         bool recurse) {
  folder = WithoutTrailingSlashes(std::move(folder));
  DirectoryStream search(folder);
  // Without full paths the queued folder's name relative to itself (the root path) is empty,
  // which would be stored as "/": an absolute name the ZIP application note forbids. Its
  // contents, and its subfolders' own entries, still get their relative names.
  const bool isRoot = folder == archive.GetRootPath() || (folder == "/" && archive.GetRootPath().empty());
  if (storeFullPath || !isRoot) Queue(archive, PendingAdd{folder, storeFullPath, password, std::nullopt, false, false});
  if (!search.get()) {
    // Noted in its turn, after the adds queued before it.
    RunQueued(archive);
    NoteFailure(folder);
    return;
  }

  std::vector<std::string> subfolders;
  while (const dirent* match = readdir(search.get())) {
    if (progress_.StopRequested()) return;
    const std::string name = match->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = Join(folder, match->d_name);
    // The listing's type saves a stat per file and per folder (a stat is about as costly as
    // deflating a small file); links, and file systems that give no type, are stat'ed.
    if (match->d_type == DT_REG) {
      Queue(archive, PendingAdd{path, storeFullPath, password, std::nullopt, true, true});
      continue;
    }
    if (match->d_type == DT_DIR) {
      subfolders.push_back(path);
      continue;
    }
    struct stat own {};
    if (lstat(path.c_str(), &own) != 0) continue;  // gone since the directory was read
    if (S_ISDIR(own.st_mode)) {
      subfolders.push_back(path);
      continue;
    }
    struct stat target = own;
    // A link is read as the file it names; links to folders are not followed (a loop would
    // never end), and a link that resolves to nothing (dangling, or a loop of links) is skipped.
    if (S_ISLNK(own.st_mode) && (stat(path.c_str(), &target) != 0 || !S_ISREG(target.st_mode))) continue;
    if (!S_ISREG(target.st_mode)) continue;  // FIFOs, sockets and devices hold no file data
    Queue(archive, PendingAdd{path, storeFullPath, password, target, false, true});
  }
  if (!recurse) return;
  for (const std::string& subfolder : subfolders) WalkFolder(archive, subfolder, storeFullPath, password, true);
}

std::string CZipNow::Zip(const ZipRequest& request) {
  zipFile_ = request.zipFile;
  firstFailure_.clear();
  pending_.clear();
  announced_ = 0;
  addInProgress_ = false;

  CZipArchive archive;
  ArchiveCloser closer(archive);
  progress_.AttachTo(archive);
  struct stat existing {};
  try {
    if (request.createNew != 0 || stat(zipFile_.c_str(), &existing) != 0)
      archive.Open(zipFile_, CZipArchive::CreateNew, CZipArchive::DefaultVolumeSize);
    else
      archive.Open(zipFile_, CZipArchive::OpenExisting, 0);
  } catch (...) {
    return "Cannot open file " + zipFile_ + ". It does not appear to be a valid zip";
  }
  archive.SetEncryption(static_cast<CZipArchive::Encryption>(request.encryption));
  const unsigned threads = WorkerThreadCount();
  archive.SetWorkerThreads(threads);
  queueing_ = threads > 1;

  const bool storeFullPath = request.usePath != 0;
  try {
    // A queued file is opened first, like a listed one; a queued path that is a folder then
    // goes on as that folder.
    for (const std::string& file : request.files)
      Queue(archive, PendingAdd{file, storeFullPath, request.password, std::nullopt, true, false});
    RunQueued(archive);
    for (const std::string& folder : request.folders) {
      archive.SetRootPath(folder.c_str());
      AddFolderTree(archive, folder, storeFullPath, request.password, request.subFolders != 0);
    }
    archive.Close(CZipArchive::CloseNormal);
  } catch (...) {
    const std::string reason =
        progress_.StopRequested() ? kStoppedByHost : EngineErrorText(std::current_exception());
    // The entry being written when the error struck would stay in the directory with the
    // sizes it had when it was opened; cut it off so the finished entries stay readable.
    closer.RecoverFinishedEntries(addInProgress_ && archive.GetCount() > countBeforeAdd_);
    return reason;
  }
  // Stopped between entries: the archive was closed whole, with every entry finished.
  if (progress_.StopRequested()) return kStoppedByHost;
  return firstFailure_;
}
