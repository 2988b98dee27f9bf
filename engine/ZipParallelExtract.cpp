// ZipParallelExtract.cpp -- CZipParallelExtract: packed bytes read in order, inflated and written by workers.
#include "engine/ZipParallelExtract.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>

#include "engine/ZipArchive.h"
#include "engine/ZipCrc32.h"
#include "engine/ZipException.h"
#include "engine/ZipFile.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipTempEntryGuard.h"
#include "engine/ZipWholeInflate.h"

struct CZipParallelExtract::Job {
  // As given to `Extract`.
  int index = -1;
  std::string targetFolder;
  bool fullPath = true;
  bool hasNewName = false;
  std::string newName;
  std::uint32_t bufferSize = 0;

  // Settled on the calling thread before a worker takes it.
  std::string entryName;   ///< the stored name, for the callbacks
  std::string targetPath;  ///< the full path, for errors and callbacks
  std::string relative;    ///< the path below the target folder
  std::string name;        ///< its last component
  std::unique_ptr<char[]> packed;
  std::uint32_t packedBytes = 0;
  bool deflated = false;
  std::uint32_t size = 0;  ///< declared
  std::uint32_t crc = 0;   ///< declared
  bool checkCrc = true;
  int parentFd = -1;       ///< owned: the folder it goes in
  unsigned permissions = 0;
  std::time_t modTime = 0;
  std::uint64_t bytes = 0;  ///< counted in flight

  bool onWorker = false;
  bool runAhead = false;  ///< extracted at once on the calling thread, ahead of entries in flight
  bool silent = false;    ///< its extraction makes no callbacks (a name refused before any)
  bool written = false;   ///< the worker is done with it (guarded by the mutex)
  bool again = false;     ///< its data did not check out: extracted again on the calling thread
  bool finished = false;  ///< its outcome is final and its callbacks are made
  ZipExtractOutcome outcome;

  ~Job() { CloseFolder(); }
  void CloseFolder() noexcept {
    if (parentFd >= 0) ::close(parentFd);
    parentFd = -1;
  }
};

CZipParallelExtract::CZipParallelExtract(CZipArchive& archive, unsigned threads) : archive_(archive) {
  if (threads > 1) workers_.emplace(threads);
}

CZipParallelExtract::~CZipParallelExtract() = default;

void CZipParallelExtract::Extract(int index, const std::string& targetFolder, bool fullPath, const char* newName,
                                  std::uint32_t bufferSize) {
  auto owned = std::make_unique<Job>();
  Job& job = *owned;
  job.index = index;
  job.outcome.index = index;
  job.targetFolder = targetFolder;
  job.fullPath = fullPath;
  job.hasNewName = newName != nullptr;
  if (newName != nullptr) job.newName = newName;
  job.bufferSize = bufferSize;

  if (!workers_ || !Prepare(job)) {
    if (job.runAhead) {
      // It changes nothing an entry in flight touches: extracted now, its callbacks made in its
      // turn, as a worker's entry has them.
      CZipActionCallback* callback = archive_.GetCallback(cbExtract);
      if (callback != nullptr) archive_.SetCallback(nullptr, cbExtract);
      ExtractHere(job);
      if (callback != nullptr) archive_.SetCallback(callback, cbExtract);
      job.written = true;  // nothing is left for a worker; not yet seen by one
      jobs_.push_back(std::move(owned));
      return;
    }
    // In its turn: every entry before it finished first, its callbacks made live.
    Settle();
    ExtractHere(job);
    job.finished = true;
    jobs_.push_back(std::move(owned));
    return;
  }
  // Counted in flight since `Prepare`.
  job.onWorker = true;
  jobs_.push_back(std::move(owned));
  // The job reports through its own fields (`Write` catches everything), so the future is not kept.
  workers_->Run([this, &job] { WriteOnWorker(job); });
}

std::optional<ZipExtractOutcome> CZipParallelExtract::Next(bool wait) {
  if (jobs_.empty()) return std::nullopt;
  Job& front = *jobs_.front();
  if (!front.finished) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (wait) jobWritten_.wait(lock, [&] { return front.written; });
      if (!front.written) return std::nullopt;
    }
    Finish(front);
  }
  ZipExtractOutcome outcome = std::move(front.outcome);
  jobs_.pop_front();
  return outcome;
}

void CZipParallelExtract::ExtractHere(Job& job) {
  job.outcome = ZipExtractOutcome{};
  job.outcome.index = job.index;
  try {
    job.outcome.extracted = archive_.ExtractEntry(job.index, job.targetFolder, job.fullPath,
                                                  job.hasNewName ? job.newName.c_str() : nullptr, job.bufferSize);
    if (!job.outcome.extracted) job.outcome.refusal = archive_.GetExtractRefusal();
  } catch (...) {
    job.outcome.error = std::current_exception();
    // The next entry must find none open.
    try {
      archive_.CloseEntryForReading(nullptr, true);
    } catch (...) {
    }
  }
}

bool CZipParallelExtract::Prepare(Job& job) {
  CZipArchive& archive = archive_;
  if (job.bufferSize == 0) return false;
  CZipFileHeader header;
  if (!archive.GetEntryInfo(header, job.index)) return false;
  if (!archive.ResolveExtractTarget(header, job.targetFolder, job.fullPath,
                                    job.hasNewName ? job.newName.c_str() : nullptr, job.targetPath, job.relative)) {
    // Refused before anything is made or reported.
    job.runAhead = job.silent = true;
    return false;
  }
  job.entryName = header.GetFileName();
  // A folder is made on the calling thread, ahead of the files in flight unless one of them
  // lies in it (its mode could shut them out) or takes its name.
  if (header.IsDirectoryEntry()) {
    job.runAhead = !ClashesWithWrites(job.relative);
    return false;
  }
  const std::uint32_t attributes = header.EntryAttributes();
  const std::uint16_t method = header.m_uMethod;
  // Files only, of the methods inflated whole, small enough to be held in memory.
  if (job.relative.empty() || PlatformOps::AttrIsSymbolicLink(attributes)) return false;
  if (method != ZipFormat::Method::Stored && method != ZipFormat::Method::Deflated && method != ZipAesFormat::Method)
    return false;
  if (header.m_uUncomprSize > CZipWholeInflater::MaxEntryBytes || header.m_uComprSize > CZipWholeInflater::MaxEntryBytes)
    return false;
  if (ClashesWithWrites(job.relative)) return false;

  // Counted in flight before anything of it is read: its packed bytes and, unless stored, its
  // inflated ones (the header's sizes, which bound what is read and made).
  job.bytes = std::uint64_t{header.m_uComprSize} + (method != ZipFormat::Method::Stored ? header.m_uUncomprSize : 0);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    jobWritten_.wait(lock, [&] {
      return entriesInFlight_ == 0 ||
             (bytesInFlight_ + job.bytes <= InFlightBytes && entriesInFlight_ < InFlightEntries);
    });
    bytesInFlight_ += job.bytes;
    ++entriesInFlight_;
  }
  const auto uncount = [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    bytesInFlight_ -= job.bytes;
    --entriesInFlight_;
  };

  try {
    archive.targetFolder_.Use(job.targetFolder, job.targetPath);
    if (!archive.OpenEntryForReading(job.index)) {
      uncount();
      return false;
    }
    // An AES entry of another method, known only now.
    if (archive.decompressor_ != nullptr) {
      archive.CloseEntryForReading(nullptr, true);
      uncount();
      return false;
    }
    z_stream& pending = archive.info_.stream;
    // The packed bytes are either all in memory already (decoded ahead) or all in the file.
    const std::uint32_t packedBytes = pending.avail_in + archive.info_.compressedLeft;
    job.packed = std::make_unique_for_overwrite<char[]>(std::max<std::uint32_t>(packedBytes, 1));
    if (pending.avail_in > 0) {
      std::memcpy(job.packed.get(), pending.next_in, pending.avail_in);
    } else if (packedBytes > 0) {
      archive.storage_.StorageRead(job.packed.get(), packedBytes, false);
      archive.DecryptPacked(job.packed.get(), packedBytes);
    }
    pending.avail_in = 0;
    archive.info_.compressedLeft = 0;
    job.packedBytes = packedBytes;
    job.deflated = archive.entryDeflated_;
    // The code covers the packed bytes, all read: it is checked before anything is written.
    if (archive.entryAes_) archive.CheckAesCode();
    job.checkCrc = !archive.ignoreCrc_ && (!archive.entryAes_ || archive.entryAesCrc_);
    // A descriptor's sizes that disagree are taken when its CRC is the central one and the data
    // gives it, as when reading on one thread: the worker's CRC check stands for that proof.
    archive.centralDir_.CloseEntryHeader(false, archive.followingAhead_.bytes, archive.followingAhead_.count,
                                         !archive.ignoreCrc_);
    if (archive.zlibStreamOpen_) inflateEnd(&pending);
    archive.zlibStreamOpen_ = false;
    archive.entryState_ = 0;
    archive.ReleaseEntryState();

    // Folders are made here, in the archive's order; the worker gets a descriptor of its own.
    const int parentFd = archive.targetFolder_.ParentOf(job.relative, true, job.targetPath);
    job.parentFd = ::fcntl(parentFd, F_DUPFD_CLOEXEC, 0);
    if (job.parentFd < 0) {
      uncount();
      return false;
    }
  } catch (...) {
    // Extracted again in its turn, which reports the failure as one thread does.
    try {
      archive.CloseEntryForReading(nullptr, true);
    } catch (...) {
    }
    job.CloseFolder();
    uncount();
    return false;
  }
  job.name = std::string(CZipTargetFolder::LastComponent(job.relative));
  job.size = header.m_uUncomprSize;
  job.crc = header.m_uCrc32;
  job.permissions = PlatformOps::FilePermissionsFor(attributes);
  job.modTime = header.EntryTime(archive.entryTimeMemo_);
  return true;
}

void CZipParallelExtract::Settle() {
  for (const std::unique_ptr<Job>& job : jobs_) {
    if (job->finished) continue;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobWritten_.wait(lock, [&] { return job->written; });
    }
    Finish(*job);
  }
}

void CZipParallelExtract::Finish(Job& job) {
  job.finished = true;
  if (job.again) {
    ExtractHere(job);
    return;
  }
  CZipActionCallback* callback = archive_.GetCallback(cbExtract);
  if (callback == nullptr || job.silent) return;
  // The calls a single thread makes for the entry (a folder's total is 0): a failed one ends
  // without `End`.
  callback->Begin(job.entryName.c_str(), job.targetPath.c_str());
  callback->SetTotal(job.size);
  if (job.outcome.error) return;
  const bool goOn = job.size == 0 || callback->Step(job.size);
  callback->End();
  if (!goOn) {
    // Stopped after the whole entry was written: kept, as on one thread.
    try {
      ThrowZipError(job.outcome.extracted ? errActionAbortedSafely : errActionAborted, job.targetPath);
    } catch (...) {
      job.outcome.error = std::current_exception();
    }
    job.outcome.extracted = false;
  }
}

bool CZipParallelExtract::ClashesWithWrites(const std::string& relative) {
  const auto holds = [](std::string_view outer, std::string_view inner) {
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
  };
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::unique_ptr<Job>& job : jobs_) {
    if (!job->onWorker || job->written) continue;
    if (job->relative == relative || holds(job->relative, relative) || holds(relative, job->relative)) return true;
  }
  return false;
}

void CZipParallelExtract::WriteOnWorker(Job& job) {
  // One decompressor per worker thread, kept for the thread's life: its tables are set up once.
  thread_local CZipWholeInflater inflater;
  Write(job, inflater);
  job.packed.reset();
  job.CloseFolder();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job.written = true;
    bytesInFlight_ -= job.bytes;
    --entriesInFlight_;
  }
  jobWritten_.notify_all();
}

void CZipParallelExtract::Write(Job& job, CZipWholeInflater& inflater) {
  try {
    const char* data = job.packed.get();
    std::unique_ptr<char[]> inflated;
    if (job.deflated) {
      inflated = std::make_unique_for_overwrite<char[]>(std::max<std::uint32_t>(job.size, 1));
      // Any other result is reported by the calling thread, as one thread reports it.
      if (inflater.Inflate(job.packed.get(), job.packedBytes, inflated.get(), job.size) !=
          CZipWholeInflater::Result::Exact) {
        job.again = true;
        return;
      }
      data = inflated.get();
    }
    if (job.checkCrc && ZipCrc32(0, data, job.size) != job.crc) {
      job.again = true;
      return;
    }
    ZipTempEntryGuard temp(job.parentFd);
    CZipFile target;
    // Made with the entry's permissions, the kernel taking off the umask; complete and timed
    // before it takes the entry's name.
    target.Adopt(CZipTargetFolder::MakeTempFile(job.parentFd, job.permissions, temp.name, job.targetPath),
                 job.targetPath);
    if (job.size > 0) target.Write(data, job.size);
    const bool timed = PlatformOps::WriteModTime(target.GetHandle(), job.modTime);
    target.Close();
    CZipTargetFolder::Publish(job.parentFd, temp.name, job.name, false, job.targetPath);
    temp.Keep();
    job.outcome.extracted = timed;
  } catch (...) {
    job.outcome.error = std::current_exception();
  }
}
