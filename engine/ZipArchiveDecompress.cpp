// ZipArchiveDecompress.cpp -- CZipArchive: reading the data of bzip2, LZMA, XZ and Zstandard entries.
#include "engine/ZipArchive.h"

#include "engine/ZipCrc32.h"
#include "engine/ZipException.h"

// The packed bytes read and not yet decoded are kept where inflate keeps them, in the zlib
// stream's `next_in` and `avail_in`: `ReadPackedPiece` and the decode-ahead window fill them for
// every method alike.
std::uint32_t CZipArchive::ReadDecompressed(Bytef* output, std::uint32_t room) {
  if (decompressorEnded_) return 0;
  CZipDecompressor& decoder = *decompressor_;
  z_stream& pending = info_.stream;
  std::uint32_t delivered = 0;
  for (;;) {
    const bool complete = info_.uncompressedLeft == 0;
    if (!complete && delivered == room) return delivered;
    if (complete && !decoder.NeedsEndMark()) {
      // LZMA without its end marker ends at the declared size; the encoder's last bytes are
      // what is left.
      decompressorEnded_ = true;
      SkipPackedRest();
      return delivered;
    }
    if (pending.avail_in == 0 && info_.compressedLeft > 0) ReadPackedPiece();

    ZipDecodeBuffers io;
    io.nextIn = pending.next_in;
    io.inBytes = pending.avail_in;
    io.inputEnds = info_.compressedLeft == 0;
    // With the declared size delivered, one byte of room tells data that goes on from data that
    // ends: the decoder must reach its end mark without writing it.
    std::uint8_t beyond = 0;
    io.nextOut = complete ? &beyond : output + delivered;
    io.outBytes = complete ? 1 : room - delivered;
    const std::size_t outOffered = io.outBytes;
    const CZipDecompressor::Status status = decoder.Decode(io);

    const auto consumed = static_cast<std::uint32_t>(pending.avail_in - io.inBytes);
    pending.next_in += consumed;
    pending.avail_in -= consumed;
    const auto produced = static_cast<std::uint32_t>(outOffered - io.outBytes);
    if (complete && produced > 0)
      ThrowDecodeError(CZipDecompressor::Status::Damaged, "the data goes on past the entry's declared size of " +
                                                              std::to_string(centralDir_.m_pOpenedFile->m_uUncomprSize) +
                                                              " bytes");
    if (produced > 0) {
      info_.crc = ZipCrc32(info_.crc, output + delivered, produced);
      info_.uncompressedLeft -= produced;
      delivered += produced;
    }

    if (status == CZipDecompressor::Status::StreamEnd) {
      // Short data is the caller's to judge (the close finds bytes left to deliver); packed
      // bytes after the end are not data and are passed over, as other readers pass them.
      decompressorEnded_ = true;
      SkipPackedRest();
      return delivered;
    }
    if (status != CZipDecompressor::Status::Ok) ThrowDecodeError(status, decoder.Problem());
    if (consumed == 0 && produced == 0) {
      // Nothing moved although input was offered, or there was none left to offer.
      const bool packedDataEnded = pending.avail_in == 0 && info_.compressedLeft == 0;
      ThrowDecodeError(CZipDecompressor::Status::Damaged,
                       !packedDataEnded ? std::string("the decoder stopped with packed bytes left")
                       : complete       ? std::string("the packed data ends before the stream's end mark")
                                        : "the packed data ends inside the stream, " +
                                              std::to_string(info_.uncompressedLeft) + " bytes short of the declared size");
    }
  }
}

void CZipArchive::SkipPackedRest() {
  info_.stream.avail_in = 0;
  while (info_.compressedLeft > 0) ReadPackedPiece();
  info_.stream.avail_in = 0;
}

void CZipArchive::ThrowDecodeError(CZipDecompressor::Status status, const std::string& problem) const {
  const CZipFileHeader* entry = centralDir_.m_pOpenedFile;
  const std::uint16_t method = entry->m_uMethod;
  const std::string detail = "entry " + std::to_string(centralDir_.FindIndex(entry)) + " '" + entry->GetFileName() +
                             "' (" + ZipMethodName(method) + "): " + problem;
  // A decoder that needs more memory than it may have cannot read the entry here, but the data
  // is not shown to be damaged.
  const bool memory = status == CZipDecompressor::Status::OutOfMemory || status == CZipDecompressor::Status::OverLimit;
  ThrowZipError(memory ? errZlibMemory : errBadArchive, GetArchivePath(), detail);
}
