// ZipAddAhead.cpp -- worker threads that open, read and deflate announced sources ahead of the archive.
#include "engine/ZipAddAhead.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine/ZipDeflateChunks.h"

ZipAddAhead::ZipAddAhead(unsigned threads) : limit_(std::min(32 * threads, 64u)), pool_(threads) {}

ZipAddAhead::~ZipAddAhead() { Clear(); }

void ZipAddAhead::Announce(const std::string& path, int level) {
  Pending pending;
  pending.source = std::make_unique<ZipPreparedSource>();
  pending.source->path = path;
  pending.source->level = level;
  ZipPreparedSource* prepared = pending.source.get();
  // The job only touches its own source, which stays alive until the job is done: `Take` and
  // `Clear` wait for it.
  pending.done = pool_.Run([this, prepared] { Prepare(*prepared); });
  pending_.push_back(std::move(pending));
}

unsigned ZipAddAhead::Room() const {
  return pending_.size() >= limit_ ? 0 : static_cast<unsigned>(limit_ - pending_.size());
}

std::unique_ptr<ZipPreparedSource> ZipAddAhead::Take(const std::string& path) {
  std::size_t match = 0;
  while (match < pending_.size() && pending_[match].source->path != path) ++match;
  if (match == pending_.size()) return nullptr;
  // Those announced before and not taken were left out by the caller (refused before the archive
  // was asked): they are dropped, and the memory they held is given back.
  for (std::size_t i = 0; i <= match; ++i) {
    Pending pending = std::move(pending_.front());
    pending_.pop_front();
    pending.done.wait();
    if (i == match) return std::move(pending.source);
    Release(*pending.source);
  }
  return nullptr;
}

void ZipAddAhead::Release(ZipPreparedSource& prepared) {
  GiveBack(prepared.reserved);
  prepared.reserved = 0;
  prepared.packed = std::vector<unsigned char>();
}

void ZipAddAhead::Clear() {
  while (!pending_.empty()) {
    pending_.front().done.wait();
    Release(*pending_.front().source);
    pending_.pop_front();
  }
}

bool ZipAddAhead::Reserve(std::uint64_t bytes) {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  if (memoryHeld_ + bytes > MemoryBound) return false;
  memoryHeld_ += bytes;
  return true;
}

void ZipAddAhead::GiveBack(std::uint64_t bytes) {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  memoryHeld_ -= bytes;
}

void ZipAddAhead::Prepare(ZipPreparedSource& prepared) {
  // Any failure leaves the rest to the archive, which meets it again on the entry's turn and
  // reports it for that entry; a worker reports nothing.
  try {
    if (!prepared.file.Open(prepared.path, CZipFile::modeRead | CZipFile::shareDenyNone, false)) return;
    const struct stat* status = prepared.file.OpenStatus();
    if (status == nullptr || !S_ISREG(status->st_mode)) {
      prepared.file.Close();
      return;
    }
    prepared.statSize = static_cast<std::uint64_t>(status->st_size);
    if (prepared.level == 0 || prepared.statSize > ZipDeflate::WholeBound) return;
    // The worst case of the deflated form is held until the deflate says how much it took; the
    // data itself lives only while this worker deflates it, outside the bound.
    const std::uint64_t worst = prepared.statSize + prepared.statSize / 8 + 1024;
    if (!Reserve(worst)) return;
    prepared.reserved = worst;
    ZipPrepared::PackWhole(prepared.file, prepared.statSize, prepared.level, prepared);
    const std::uint64_t kept = std::min<std::uint64_t>(prepared.packed.size(), worst);
    GiveBack(worst - kept);
    prepared.reserved = kept;
  } catch (...) {
    prepared.hasPacked = false;
    prepared.packed = std::vector<unsigned char>();
    prepared.file.Close();
  }
}
