// ZipRecovery.cpp -- the scan for an archive's finished entries by their local headers and data descriptors.
#include "engine/ZipRecovery.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>

#include <zlib.h>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipConstants.h"
#include "engine/ZipCrc32.h"
#include "engine/ZipEndian.h"
#include "engine/ZipException.h"
#include "engine/ZipZip64Field.h"

namespace {

namespace LH = ZipFormat::LocalHeader;
namespace DD = ZipFormat::DataDescriptor;
namespace ER = ZipFormat::EndRecord;

constexpr std::uint32_t kChunkBytes = 1u << 20;
constexpr std::uint32_t kFirstLookBytes = 4096;
constexpr std::uint32_t kDataPieceBytes = 65536;

// Reads up to `count` bytes at file position `position`; returns how many there were.
std::uint32_t ReadAt(CZipAbstractFile& file, std::uint64_t position, char* buffer, std::uint32_t count) {
  file.Seek(static_cast<std::int64_t>(position), CZipAbstractFile::begin);
  std::uint32_t total = 0;
  while (total < count) {
    const std::uint32_t got = file.Read(buffer + total, count - total);
    if (got == 0) break;
    total += got;
  }
  return total;
}

// The file position of the next `signature` at or after `from`, or nothing before `length`.
std::optional<std::uint64_t> FindSignature(CZipAbstractFile& file, std::uint64_t from, std::uint64_t length,
                                           std::uint32_t signature) {
  char wanted[ZipFormat::SignatureSize];
  WriteLE(wanted, signature);
  // Entries usually follow each other without a gap: a small first look, larger ones after.
  std::vector<char> chunk(kFirstLookBytes);
  while (from + ZipFormat::SignatureSize <= length) {
    const auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk.size(), length - from));
    const std::uint32_t got = ReadAt(file, from, chunk.data(), size);
    if (got < ZipFormat::SignatureSize) return std::nullopt;
    const char* found = std::search(chunk.data(), chunk.data() + got, wanted, wanted + ZipFormat::SignatureSize);
    if (found != chunk.data() + got) return from + static_cast<std::uint64_t>(found - chunk.data());
    // The next chunk starts three bytes back, so that a signature across the border is seen.
    from += got - (ZipFormat::SignatureSize - 1);
    if (chunk.size() < kChunkBytes) chunk.resize(kChunkBytes);
  }
  return std::nullopt;
}

// What decoding an entry's packed bytes gave.
struct Decoded {
  bool streamEnded = false;       ///< deflate: the stream's last block was reached
  std::uint64_t packedBytes = 0;  ///< bytes taken from the file
  std::uint64_t dataBytes = 0;    ///< bytes the data came to
  std::uint32_t crc = 0;
};

// Decodes from `start`: stored data of `packedLimit` bytes, or a deflate stream until its end or
// `packedLimit` bytes, whichever comes first. False when the deflate stream is damaged.
bool Decode(CZipAbstractFile& file, std::uint64_t start, std::uint64_t packedLimit, bool deflated, Decoded& out) {
  std::vector<char> in(static_cast<std::size_t>(std::clamp<std::uint64_t>(packedLimit, 1, kChunkBytes)));
  std::vector<char> data(deflated ? kDataPieceBytes : 0);
  z_stream stream{};
  if (deflated && inflateInit2(&stream, -MAX_WBITS) != Z_OK) ThrowZipError(CZipException::errZlibMemory);
  struct StreamEnd {
    z_stream* stream;
    ~StreamEnd() {
      if (stream != nullptr) inflateEnd(stream);
    }
  } end{deflated ? &stream : nullptr};
  while (out.packedBytes < packedLimit && !out.streamEnded) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(in.size(), packedLimit - out.packedBytes));
    const std::uint32_t got = ReadAt(file, start + out.packedBytes, in.data(), want);
    if (got == 0) break;
    if (!deflated) {
      out.crc = ZipCrc32(out.crc, in.data(), got);
      out.packedBytes += got;
      out.dataBytes += got;
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = got;
    while (stream.avail_in > 0) {
      stream.next_out = reinterpret_cast<Bytef*>(data.data());
      stream.avail_out = static_cast<uInt>(data.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      const std::uint32_t produced = static_cast<std::uint32_t>(data.size()) - stream.avail_out;
      out.crc = ZipCrc32(out.crc, data.data(), produced);
      out.dataBytes += produced;
      if (result == Z_STREAM_END) {
        out.streamEnded = true;
        break;
      }
      // With input and a fresh output buffer, anything but progress is a damaged stream.
      if (result != Z_OK) return false;
    }
    out.packedBytes += got - stream.avail_in;
  }
  return true;
}

bool IsKnownSignature(std::uint32_t value) {
  return value == ZipFormat::LocalHeaderSignature || value == ZipFormat::CentralHeaderSignature ||
         value == ZipFormat::DataDescriptorSignature || value == ZipFormat::EndRecordSignature ||
         value == ZipFormat::Zip64EndRecordSignature;
}

// One local header at `offset`, examined. Either `kept` is set or `reason` says why not.
struct Examined {
  ZipRecoveredEntry entry;
  bool kept = false;
  bool nameKnown = false;
  std::string reason;
};

// The data descriptor at `position` when it matches `entry`'s CRC and sizes (signed or not, in the
// ZIP64 form after a ZIP64 local header); its length, or nothing. With `adoptCrc` only the sizes
// must match, and the descriptor's CRC becomes the entry's.
std::optional<std::uint32_t> MatchingDescriptor(CZipAbstractFile& file, std::uint64_t position,
                                                ZipRecoveredEntry& entry, bool zip64, bool adoptCrc = false) {
  char bytes[ZipFormat::SignatureSize + DD::Zip64Size];
  const std::uint32_t got = ReadAt(file, position, bytes, sizeof bytes);
  const std::uint32_t size = zip64 ? DD::Zip64Size : DD::Size;
  const std::uint32_t width = zip64 ? 8 : 4;
  for (const std::uint32_t skip : {ZipFormat::SignatureSize, 0u}) {
    if (skip != 0 && (got < skip || ReadLE<std::uint32_t>(bytes) != ZipFormat::DataDescriptorSignature)) continue;
    if (got < skip + size) continue;
    const char* d = bytes + skip;
    if ((adoptCrc || EqualLE(d + DD::Crc, entry.crc, 4)) && EqualLE(d + DD::CompressedSize, entry.compressedSize, width) &&
        EqualLE(d + DD::CompressedSize + width, entry.uncompressedSize, width)) {
      if (adoptCrc) entry.crc = ReadLE<std::uint32_t>(d + DD::Crc);
      return skip + size;
    }
  }
  return std::nullopt;
}

Examined Examine(CZipAbstractFile& file, std::uint64_t offset, std::uint64_t length) {
  Examined result;
  ZipRecoveredEntry& e = result.entry;
  e.offset = offset;
  char record[LH::Size];
  if (ReadAt(file, offset, record, LH::Size) < LH::Size) {
    result.reason = "its local header is cut off by the end of the file";
    return result;
  }
  e.versionNeeded = ReadLE<std::uint16_t>(record + LH::VersionNeeded);
  e.flags = ReadLE<std::uint16_t>(record + LH::Flags);
  e.method = ReadLE<std::uint16_t>(record + LH::Method);
  e.modTime = ReadLE<std::uint16_t>(record + LH::ModTime);
  e.modDate = ReadLE<std::uint16_t>(record + LH::ModDate);
  e.crc = ReadLE<std::uint32_t>(record + LH::Crc);
  std::uint64_t compressed = ReadLE<std::uint32_t>(record + LH::CompressedSize);
  std::uint64_t uncompressed = ReadLE<std::uint32_t>(record + LH::UncompressedSize);
  const std::uint16_t nameLength = ReadLE<std::uint16_t>(record + LH::NameLength);
  const std::uint16_t extraLength = ReadLE<std::uint16_t>(record + LH::ExtraLength);
  std::string variable(std::size_t{nameLength} + extraLength, '\0');
  if (ReadAt(file, offset + LH::Size, variable.data(), static_cast<std::uint32_t>(variable.size())) <
      variable.size()) {
    result.reason = "its local header is cut off by the end of the file";
    return result;
  }
  e.name = variable.substr(0, nameLength);
  result.nameKnown = true;
  const std::uint64_t dataStart = offset + LH::Size + variable.size();

  // A ZIP64 extra field (4.5.3) holds the sizes that the header marks 0xFFFFFFFF, uncompressed first.
  bool zip64 = false;
  for (std::size_t at = nameLength; at + ZipFormat::ExtraField::BlockHeaderSize <= variable.size();) {
    const char* block = variable.data() + at;
    const auto id = ReadLE<std::uint16_t>(block + ZipFormat::ExtraField::HeaderId);
    const auto size = ReadLE<std::uint16_t>(block + ZipFormat::ExtraField::DataSize);
    const char* data = block + ZipFormat::ExtraField::BlockHeaderSize;
    if (at + ZipFormat::ExtraField::BlockHeaderSize + size > variable.size()) break;
    if (id == ZipFormat::ExtraField::Zip64Id) {
      zip64 = true;
      Zip64Field::Presence present;
      present.uncompressed = uncompressed == ER::Zip64Marker32;
      present.compressed = compressed == ER::Zip64Marker32;
      Zip64Field::Values values;
      values.uncompressed = uncompressed;
      values.compressed = compressed;
      // A short block still gives the values it holds; the sizes are checked against the data.
      Zip64Field::Read(data, size, present, values);
      uncompressed = values.uncompressed;
      compressed = values.compressed;
    }
    at += ZipFormat::ExtraField::BlockHeaderSize + size;
  }
  if (e.method != ZipFormat::Method::Stored && e.method != ZipFormat::Method::Deflated) {
    result.reason = "its compression method " + std::to_string(e.method) + " is not one this engine reads";
    return result;
  }
  if (compressed >= ER::Zip64Marker32 || uncompressed >= ER::Zip64Marker32) {
    result.reason = "its sizes need ZIP64, which this engine does not write";
    return result;
  }
  const bool encrypted = (e.flags & ZipFormat::Flag::Encrypted) != 0;
  const bool deflated = e.method == ZipFormat::Method::Deflated;
  const bool descriptor = (e.flags & ZipFormat::Flag::DataDescriptor) != 0;
  e.compressedSize = static_cast<std::uint32_t>(compressed);
  e.uncompressedSize = static_cast<std::uint32_t>(uncompressed);

  // Flag bit 3 without a compressed size: the writer streamed the entry and the sizes follow it
  // (Info-ZIP may fill in the uncompressed size it knew beforehand, never the CRC).
  const bool sizesDeferred = descriptor && e.crc == 0 && compressed == 0;
  if (sizesDeferred && deflated && !encrypted) {
    Decoded decoded;
    if (!Decode(file, dataStart, length - dataStart, true, decoded)) {
      result.reason = "its deflate stream is damaged";
      return result;
    }
    if (!decoded.streamEnded) {
      result.reason = "the file ends inside its deflate stream (the entry was not finished)";
      return result;
    }
    if (decoded.packedBytes >= ER::Zip64Marker32 || decoded.dataBytes >= ER::Zip64Marker32) {
      result.reason = "its sizes need ZIP64, which this engine does not write";
      return result;
    }
    e.crc = decoded.crc;
    e.compressedSize = static_cast<std::uint32_t>(decoded.packedBytes);
    e.uncompressedSize = static_cast<std::uint32_t>(decoded.dataBytes);
  } else if (sizesDeferred) {
    // Stored or encrypted data has no end of its own: the first descriptor whose compressed size
    // is its distance from the data's start marks it.
    bool found = false;
    for (std::uint64_t from = dataStart;;) {
      const std::optional<std::uint64_t> at = FindSignature(file, from, length, ZipFormat::DataDescriptorSignature);
      if (!at) break;
      char bytes[ZipFormat::SignatureSize + DD::Size];
      if (ReadAt(file, *at, bytes, sizeof bytes) == sizeof bytes &&
          ReadLE<std::uint32_t>(bytes + ZipFormat::SignatureSize + DD::CompressedSize) == *at - dataStart) {
        e.crc = ReadLE<std::uint32_t>(bytes + ZipFormat::SignatureSize + DD::Crc);
        e.compressedSize = static_cast<std::uint32_t>(*at - dataStart);
        e.uncompressedSize = ReadLE<std::uint32_t>(bytes + ZipFormat::SignatureSize + DD::UncompressedSize);
        found = true;
        break;
      }
      from = *at + 1;
    }
    if (!found) {
      result.reason = "no data descriptor follows its data (the entry was not finished)";
      return result;
    }
  }

  const std::uint64_t dataEnd = dataStart + e.compressedSize;
  if (dataEnd > length) {
    result.reason = "its data runs past the end of the file (the entry was not finished)";
    return result;
  }
  // Sizes known beforehand but the CRC left for the descriptor (Info-ZIP's stored entries).
  if (descriptor && !sizesDeferred && e.crc == 0) MatchingDescriptor(file, dataEnd, e, zip64, true);
  if (encrypted) {
    if (e.compressedSize < ZipFormat::Encryption::HeaderSize) {
      result.reason = "its encrypted data is shorter than the encryption header";
      return result;
    }
  } else {
    Decoded decoded;
    const bool sound = Decode(file, dataStart, e.compressedSize, deflated, decoded);
    if (!sound || (deflated && !decoded.streamEnded) || decoded.packedBytes != e.compressedSize ||
        decoded.dataBytes != e.uncompressedSize || decoded.crc != e.crc) {
      result.reason = "its data does not give the CRC-32 and size it names (the entry was not finished, or is damaged)";
      return result;
    }
  }
  e.end = dataEnd;
  if (descriptor) {
    const std::optional<std::uint32_t> size = MatchingDescriptor(file, dataEnd, e, zip64);
    if (!size) {
      result.reason = "its data descriptor is missing or does not match (the entry was not finished)";
      return result;
    }
    e.end += *size;
  } else if (e.crc == 0 && e.compressedSize == 0 && e.uncompressedSize == 0 && dataEnd < length) {
    // An empty entry, or one whose header was never completed: the CRC and sizes of a local
    // header are written after the data. An empty entry is followed by the next record.
    char next[ZipFormat::SignatureSize];
    if (ReadAt(file, dataEnd, next, sizeof next) < sizeof next || !IsKnownSignature(ReadLE<std::uint32_t>(next))) {
      result.reason = "its CRC-32 and sizes were never written (the entry was not finished)";
      return result;
    }
  }
  result.kept = true;
  return result;
}

bool SameEntry(const ZipRecoveredEntry& a, const ZipRecoveredEntry& b) {
  return a.name == b.name && a.method == b.method && a.crc == b.crc && a.compressedSize == b.compressedSize &&
         a.uncompressedSize == b.uncompressedSize;
}

}  // namespace

ZipRecoveryScan ScanForEntries(CZipAbstractFile& file) {
  ZipRecoveryScan scan;
  std::unordered_multimap<std::string, std::size_t> keptByName;
  const std::uint64_t length = file.GetLength();
  std::uint64_t from = 0;
  while (const std::optional<std::uint64_t> at = FindSignature(file, from, length, ZipFormat::LocalHeaderSignature)) {
    Examined examined = Examine(file, *at, length);
    if (!examined.kept) {
      scan.dropped.push_back({examined.nameKnown ? examined.entry.name : std::string(), *at, examined.reason});
      // Its bytes may hold the start of an entry that was written whole after it.
      from = *at + 1;
      continue;
    }
    const ZipRecoveredEntry* copy = nullptr;
    const auto [first, last] = keptByName.equal_range(examined.entry.name);
    for (auto it = first; it != last && copy == nullptr; ++it) {
      if (SameEntry(scan.kept[it->second], examined.entry)) copy = &scan.kept[it->second];
    }
    if (copy != nullptr) {
      scan.dropped.push_back({examined.entry.name, *at,
                              "it is a copy of the entry kept at offset " + std::to_string(copy->offset)});
    } else {
      keptByName.emplace(examined.entry.name, scan.kept.size());
      scan.kept.push_back(examined.entry);
    }
    from = examined.entry.end;
  }
  return scan;
}
