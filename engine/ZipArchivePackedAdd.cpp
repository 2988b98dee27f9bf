// ZipArchivePackedAdd.cpp -- CZipArchive: an entry's data deflated whole or in chunks, with workers when there are threads.
#include "engine/ZipArchive.h"

#include "engine/ZipAbstractFile.h"
#include "engine/ZipAddAhead.h"
#include "engine/ZipDeflateChunks.h"
#include "engine/ZipPreparedSource.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <utility>

namespace {

/// One chunk of a long source: its input, and once deflated, its part of the stream and the
/// CRC of its input.
struct Chunk {
  std::unique_ptr<unsigned char[]> input;
  std::size_t length = 0;
  bool last = false;
  std::vector<unsigned char> packed;
  std::uint32_t crc = 0;

  void Deflate(int level) {
    ZipDeflate::DeflateChunk(input.get(), length, level, last, packed);
    crc = ZipDeflate::Crc32(0, input.get(), length);
    input.reset();  // only the deflated part waits for its turn to be written
  }
};

/// Tells `step` about `count` input bytes in pieces of at most `stepBytes`; `moreAfter` says
/// whether data follows the last piece.
void StepThrough(std::uint64_t count, std::uint32_t stepBytes, bool moreAfter,
                 const std::function<void(std::uint32_t, bool)>& step) {
  while (count > 0) {
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, stepBytes));
    count -= piece;
    step(piece, count > 0 || moreAfter);
  }
}

}  // namespace

void CZipArchive::SetWorkerThreads(unsigned count) {
  if (entryState_ != 0) return;
  if (count == 0) count = 1;
  if (count == workerThreads_) return;
  addAhead_.reset();
  workerThreads_ = count;
  if (count > 1) addAhead_ = std::make_unique<ZipAddAhead>(count);
}

void CZipArchive::AnnounceSource(const std::string& path, int level) {
  if (addAhead_ && addAhead_->Room() > 0) addAhead_->Announce(path, level);
}

unsigned CZipArchive::AnnounceRoom() const { return addAhead_ ? addAhead_->Room() : 0; }

void CZipArchive::WritePackedEntryData(const unsigned char* bytes, std::size_t count) {
  // Through the I/O buffer, as every entry's data goes: it is encrypted there in place.
  const std::uint32_t bufferSize = info_.buffer.GetSize();
  while (count > 0) {
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(count, bufferSize));
    std::memcpy(info_.buffer.data(), bytes, piece);
    FlushEntryBuffer(piece);
    bytes += piece;
    count -= piece;
  }
}

void CZipArchive::WritePackedSource(CZipAbstractFile& source, std::uint64_t size, int level,
                                    ZipPreparedSource* prepared, std::uint32_t stepBytes,
                                    const std::function<void(std::uint32_t, bool)>& step) {
  CZipFileHeader* opened = centralDir_.m_pOpenedFile;
  if (size <= ZipDeflate::WholeBound) {
    ZipPreparedSource own;
    ZipPreparedSource* whole = prepared;
    // What a worker made counts only when it read the size this entry was checked against,
    // at the level this entry asks for.
    if (whole == nullptr || !whole->hasPacked || whole->level != level || whole->statSize != size) {
      if (prepared != nullptr) source.SeekToBegin();
      ZipPrepared::PackWhole(source, size, level, own);
      whole = &own;
    }
    WritePackedEntryData(whole->packed.data(), whole->packed.size());
    opened->m_uCrc32 = whole->crc;
    entryInputBytes_ = whole->dataSize;
    StepThrough(whole->dataSize, stepBytes, false, step);
    return;
  }

  // Chunks of fixed size, each deflated on its own and all but the last ended with a sync flush,
  // joined in order: one deflate stream, as pigz makes it. A fixed number in flight bounds the
  // memory; the bytes do not depend on how many deflate at once.
  ZipWorkerPool* pool = addAhead_ ? &addAhead_->Pool() : nullptr;
  const std::size_t inFlight = pool != nullptr ? std::min<std::size_t>(2 * pool->ThreadCount(), 8) : 1;
  // Each chunk with the completion of the job deflating it (invalid when deflated here). The job
  // holds its chunk, not the other way round: a chunk left behind by an error is freed as soon
  // as its job has run.
  std::deque<std::pair<std::shared_ptr<Chunk>, std::future<void>>> chunks;
  std::uint64_t readTotal = 0;
  std::uint32_t crc = 0;
  bool allRead = false;
  while (!allRead || !chunks.empty()) {
    while (!allRead && chunks.size() < inFlight) {
      auto chunk = std::make_shared<Chunk>();
      const std::uint64_t wanted = std::min<std::uint64_t>(ZipDeflate::ChunkBytes, size - readTotal);
      chunk->input = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(wanted));
      chunk->length = static_cast<std::size_t>(ZipPrepared::ReadUpTo(source, wanted, chunk->input.get()));
      readTotal += chunk->length;
      // A source that shrank ends early: its last chunk is the one that fell short (possibly
      // empty, which still ends the stream with a final block).
      chunk->last = chunk->length < wanted || readTotal == size;
      allRead = chunk->last;
      std::future<void> done;
      if (pool != nullptr)
        done = pool->Run([chunk, level] { chunk->Deflate(level); });
      else
        chunk->Deflate(level);
      chunks.emplace_back(std::move(chunk), std::move(done));
    }
    std::shared_ptr<Chunk> head = std::move(chunks.front().first);
    std::future<void> done = std::move(chunks.front().second);
    chunks.pop_front();
    if (done.valid()) done.get();  // rethrows the worker's failure here
    WritePackedEntryData(head->packed.data(), head->packed.size());
    const std::uint64_t dataSize = head->length;
    crc = ZipDeflate::Crc32Combine(crc, head->crc, dataSize);
    entryInputBytes_ += dataSize;
    opened->m_uCrc32 = crc;
    head.reset();
    StepThrough(dataSize, stepBytes, !chunks.empty() || !allRead, step);
  }
}
