// ZipRecoveryDirectory.cpp -- the central directory and end record written for the entries a recovery scan kept.
#include "engine/ZipRecovery.h"

#include <string>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipEntryName.h"
#include "engine/ZipException.h"

namespace {

namespace CH = ZipFormat::CentralHeader;
namespace ER = ZipFormat::EndRecord;

}  // namespace

void WriteRecoveredDirectory(CZipAbstractFile& file, const ZipRecoveryScan& scan) {
  if (scan.kept.size() > ZipFormat::MaxEntries)
    ThrowZipError(errBadArchive, file.GetFilePath(),
                  std::to_string(scan.kept.size()) + " entries were found; a directory holds at most " +
                      std::to_string(ZipFormat::MaxEntries));
  std::string directory;
  for (const ZipRecoveredEntry& e : scan.kept) {
    if (e.offset >= ER::Zip64Marker32)
      ThrowZipError(errBadArchive, file.GetFilePath(),
                    "entry '" + e.name + "' starts at offset " + std::to_string(e.offset) + ", past 4 GiB");
    const bool folder = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
    const bool unixNames = (e.flags & ZipFormat::Flag::Utf8Name) != 0 || ZipEntryName::IsValidUtf8(e.name);
    const std::uint16_t host = unixNames ? ZipFormat::HostSystem::Unix : ZipFormat::HostSystem::Dos;
    // Unix modes in the high 16 bits (regular file 0644, directory 0755); DOS attribute bits
    // (0x10 directory, 0x20 archive) in the low ones.
    const std::uint32_t attributes =
        unixNames ? (folder ? 0040755u << 16 : 0100644u << 16) | (folder ? 0x10u : 0x20u) : (folder ? 0x10u : 0x20u);
    char h[CH::Size];
    WriteLE<std::uint32_t>(h + CH::Signature, ZipFormat::CentralHeaderSignature);
    WriteLE<std::uint16_t>(h + CH::VersionMadeBy, static_cast<std::uint16_t>(host << 8 | ZipFormat::Version::MadeBy));
    WriteLE<std::uint16_t>(h + CH::VersionNeeded, e.versionNeeded);
    WriteLE<std::uint16_t>(h + CH::Flags, e.flags);
    WriteLE<std::uint16_t>(h + CH::Method, e.method);
    WriteLE<std::uint16_t>(h + CH::ModTime, e.modTime);
    WriteLE<std::uint16_t>(h + CH::ModDate, e.modDate);
    WriteLE<std::uint32_t>(h + CH::Crc, e.crc);
    WriteLE<std::uint32_t>(h + CH::CompressedSize, e.compressedSize);
    WriteLE<std::uint32_t>(h + CH::UncompressedSize, e.uncompressedSize);
    WriteLE<std::uint16_t>(h + CH::NameLength, static_cast<std::uint16_t>(e.name.size()));
    WriteLE<std::uint16_t>(h + CH::ExtraLength, 0);
    WriteLE<std::uint16_t>(h + CH::CommentLength, 0);
    WriteLE<std::uint16_t>(h + CH::DiskStart, 0);
    WriteLE<std::uint16_t>(h + CH::InternalAttributes, 0);
    WriteLE<std::uint32_t>(h + CH::ExternalAttributes, attributes);
    WriteLE<std::uint32_t>(h + CH::LocalHeaderOffset, static_cast<std::uint32_t>(e.offset));
    directory.append(h, CH::Size);
    directory += e.name;
  }
  const std::uint64_t directoryOffset = file.GetLength();
  if (directoryOffset + directory.size() >= ER::Zip64Marker32)
    ThrowZipError(errBadArchive, file.GetFilePath(),
                  "the directory would start at offset " + std::to_string(directoryOffset) + ", past 4 GiB");
  char end[ER::Size];
  const auto count = static_cast<std::uint16_t>(scan.kept.size());
  WriteLE<std::uint32_t>(end + ER::Signature, ZipFormat::EndRecordSignature);
  WriteLE<std::uint16_t>(end + ER::ThisVolume, 0);
  WriteLE<std::uint16_t>(end + ER::StartVolume, 0);
  WriteLE<std::uint16_t>(end + ER::HeadersOnVolume, count);
  WriteLE<std::uint16_t>(end + ER::HeadersTotal, count);
  WriteLE<std::uint32_t>(end + ER::DirectorySize, static_cast<std::uint32_t>(directory.size()));
  WriteLE<std::uint32_t>(end + ER::DirectoryOffset, static_cast<std::uint32_t>(directoryOffset));
  WriteLE<std::uint16_t>(end + ER::CommentLength, 0);
  directory.append(end, ER::Size);
  file.SeekToEnd();
  file.Write(directory.data(), static_cast<std::uint32_t>(directory.size()));
  file.Flush();
}
