// ZipCentralDirBounds.cpp -- the check that each entry's local header and data end before the next one starts.
#include "engine/ZipCentralDir.h"

#include <string>

#include "engine/ZipException.h"
#include "engine/ZipStorage.h"

namespace {

std::string Describe(std::uint16_t index, const CZipFileHeader& header) {
  return "entry " + std::to_string(index) + " '" + header.GetFileName() + "'";
}

}  // namespace

void CZipCentralDir::CheckEntryBounds(std::uint16_t index, std::uint64_t spanBytes) const {
  const CZipFileHeader& header = *m_headers.at(index);
  const std::uint64_t start = header.m_uOffset;
  const std::uint64_t end = start + spanBytes;
  // Headers are in local-header order: the next one on the same volume is the nearest start.
  // Entries of a split archive may continue on the next volume; only the same volume is judged.
  if (static_cast<std::size_t>(index) + 1 < m_headers.size()) {
    const CZipFileHeader& next = *m_headers[index + 1];
    if (next.m_uDiskStart != header.m_uDiskStart) return;
    if (end <= next.m_uOffset) return;
    ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                  Describe(index, header) + " and " + Describe(static_cast<std::uint16_t>(index + 1), next) +
                      " overlap: the local header and data of the first run from offset " + std::to_string(start) +
                      " to " + std::to_string(end) + ", the second starts at offset " +
                      std::to_string(next.m_uOffset));
  }
  // The last entry ends where the directory begins; once entries were added after it the
  // directory is no longer in the file and the end of the file bounds it (a read past it fails).
  if (!m_bOnDisk || header.m_uDiskStart != m_info.m_uStartVolume || end <= m_info.m_uOffset) return;
  ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                Describe(index, header) + " overlaps the central directory: its local header and data run from offset " +
                    std::to_string(start) + " to " + std::to_string(end) +
                    ", the directory starts at offset " + std::to_string(m_info.m_uOffset));
}

void CZipCentralDir::CheckAllEntryBounds() const {
  for (std::size_t i = 0; i < m_headers.size(); ++i) {
    const CZipFileHeader& header = *m_headers[i];
    // The local extra field may differ from the central one (Info-ZIP's local one is longer);
    // it is judged when the entry is opened and its local header read.
    const std::uint64_t least =
        std::uint64_t{header.HeaderSize(true)} - header.m_pExtraField.GetSize() + header.m_uComprSize;
    CheckEntryBounds(static_cast<std::uint16_t>(i), least);
  }
}
