// ZipDecodeAhead.cpp -- filling the decode-ahead window and finding entries in it.
#include "engine/ZipDecodeAhead.h"

#include <algorithm>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipAes.h"
#include "engine/ZipCentralDir.h"
#include "engine/ZipConstants.h"
#include "engine/ZipCrypto.h"
#include "engine/ZipEndian.h"
#include "engine/ZipFileHeader.h"

namespace {

namespace LH = ZipFormat::LocalHeader;

// An entry the window may decode: encrypted with the traditional cipher by the flags in effect
// (an AES entry is read the ordinary way), with at least its 12-byte encryption header. Its
// method is checked when it is opened, as for any entry.
bool Decodable(const CZipFileHeader& header, std::uint16_t flags) {
  return (flags & ZipFormat::Flag::Encrypted) != 0 && header.m_uMethod != ZipAesFormat::Method &&
         header.m_uComprSize >= ZipFormat::Encryption::HeaderSize;
}

}  // namespace

CZipDecodeAhead::Decoded CZipDecodeAhead::Find(int index, std::uint64_t position) {
  const auto slot = std::lower_bound(slots_.begin(), slots_.end(), index,
                                     [](const Slot& candidate, int wanted) { return candidate.index < wanted; });
  if (slot == slots_.end() || slot->index != index || slot->position != position) return {};
  const std::uint32_t end = slot->offset + slot->length;
  return Decoded{window_.data() + slot->offset, slot->length, Following{window_.data() + end, filled_ - end},
                 slot->flags, slot->dataDecoded};
}

void CZipDecodeAhead::Fill(CZipAbstractFile& file, const CZipCentralDir& directory, int first,
                           std::uint64_t position, std::string_view password) {
  slots_.clear();
  const CZipFileHeader& head = *directory.GetHeader(static_cast<std::uint16_t>(first));
  const std::uint64_t length = file.GetLength();
  if (!Decodable(head, head.m_uFlag) || position > length || head.m_uComprSize > WindowBytes) return;
  const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(WindowBytes, length - position));
  if (head.m_uComprSize > wanted) return;
  // Kept between fills; a small archive gets no more than its own size.
  if (window_.GetSize() < wanted) window_.Allocate(wanted);
  file.Seek(static_cast<std::int64_t>(position), CZipAbstractFile::begin);
  const std::uint32_t got = file.Read(window_.data(), wanted);
  filled_ = got;
  if (got < head.m_uComprSize) return;
  slots_.push_back(Slot{first, position, 0, static_cast<std::uint32_t>(head.m_uComprSize), head.m_uFlag, false});
  CollectFollowing(directory, first, position, got);

  // All headers first: an entry whose header check fails is not decoded further (its opening
  // reports the wrong password, from the decoded header kept in the window).
  CZipCrypto crypto;
  crypto.InitKeys(password);
  std::vector<CZipCrypto::DecodeJob> jobs(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    jobs[i] = CZipCrypto::DecodeJob{crypto.Keys(), window_.data() + slots_[i].offset, ZipFormat::Encryption::HeaderSize};
  }
  CZipCrypto::DecodeSeveral(jobs.data(), jobs.size());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[i];
    const CZipFileHeader& entry = *directory.GetHeader(static_cast<std::uint16_t>(slot.index));
    const auto checkByte = static_cast<std::uint8_t>(window_.data()[slot.offset + ZipFormat::Encryption::HeaderSize - 1]);
    if (checkByte != CZipCrypto::ExpectedCheckByte(entry, slot.flags)) continue;
    slot.dataDecoded = true;
    jobs[kept] = jobs[i];
    jobs[kept].data += ZipFormat::Encryption::HeaderSize;
    jobs[kept].length = slot.length - ZipFormat::Encryption::HeaderSize;
    ++kept;
  }
  CZipCrypto::DecodeSeveral(jobs.data(), kept);
}

void CZipDecodeAhead::CollectFollowing(const CZipCentralDir& directory, int first, std::uint64_t position,
                                       std::uint32_t got) {
  const std::uint64_t end = position + got;
  const std::uint64_t bytesBefore = directory.m_uBytesBeforeZip;
  // Where the next local header may begin: after the data of the last entry looked at.
  std::uint64_t cursor = position + slots_.front().length;
  const int count = directory.GetCount();
  for (int index = first + 1; index < count; ++index) {
    const CZipFileHeader& entry = *directory.GetHeader(static_cast<std::uint16_t>(index));
    const std::uint64_t headerAt = std::uint64_t{entry.m_uOffset} + bytesBefore;
    // Only entries further on in the file: an archive whose directory is in another order is
    // served a window per entry, as if there were none.
    if (headerAt < cursor || headerAt + LH::Size > end) return;
    const char* local = window_.data() + (headerAt - position);
    if (ReadLE<std::uint32_t>(local + LH::Signature) != ZipFormat::LocalHeaderSignature) return;
    const std::uint64_t dataAt =
        headerAt + LH::Size + ReadLE<std::uint16_t>(local + LH::NameLength) + ReadLE<std::uint16_t>(local + LH::ExtraLength);
    if (dataAt + entry.m_uComprSize > end) return;
    cursor = dataAt + entry.m_uComprSize;
    const std::uint16_t flags = CZipFileHeader::FlagsInEffect(entry.m_uFlag, ReadLE<std::uint16_t>(local + LH::Flags));
    if (!Decodable(entry, flags)) continue;
    // Within the window: the packed size is below its size.
    slots_.push_back(Slot{index, dataAt, static_cast<std::uint32_t>(dataAt - position),
                          static_cast<std::uint32_t>(entry.m_uComprSize), flags, false});
  }
}

void CZipDecodeAhead::Release() {
  slots_.clear();
  slots_.shrink_to_fit();
  window_.Release();
}
