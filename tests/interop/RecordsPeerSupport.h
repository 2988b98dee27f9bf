// RecordsPeerSupport.h -- what Python's zipfile reports of an archive, and reading entries through the engine records.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "../engine/RecordsEntryWriter.h"
#include "../engine/RecordsTestMedium.h"
#include "engine/ZipCentralDir.h"
#include "engine/ZipCrypto.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {

/// One entry as Python's zipfile sees it (central directory values).
struct PeerEntry {
  std::uint64_t headerOffset = 0;  ///< file position of the local header
  unsigned flags = 0, method = 0, modTime = 0, modDate = 0, crc = 0;
  std::uint64_t compressedSize = 0, size = 0;
  unsigned versionMadeBy = 0, versionNeeded = 0, internalAttributes = 0, volume = 0;
  std::uint32_t externalAttributes = 0;
  std::string name, extra, comment;  ///< bytes as stored
};

inline std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

/// Lists `archive` with Python's zipfile, one entry per line, in directory order.
inline std::vector<PeerEntry> PythonListing(const std::string& archive) {
  static const char* const script = R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        name = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        dt = i.date_time
        t = dt[3] << 11 | dt[4] << 5 | dt[5] // 2
        d = (dt[0] - 1980) << 9 | dt[1] << 5 | dt[2]
        print(i.header_offset, i.flag_bits, i.compress_type, t, d, i.CRC, i.compress_size, i.file_size,
              i.create_system << 8 | i.create_version, i.extract_version, i.internal_attr, i.volume,
              i.external_attr, name.hex() or '-', i.extra.hex() or '-', i.comment.hex() or '-')
)PY";
  ScratchDir dir;
  WriteFileBytes(dir / "list.py", script);
  const CommandResult result = RunCommand("python3 " + ShellQuote(dir / "list.py") + " " + ShellQuote(archive));
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  std::vector<PeerEntry> entries;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    PeerEntry e;
    std::string name, extra, comment;
    fields >> e.headerOffset >> e.flags >> e.method >> e.modTime >> e.modDate >> e.crc >> e.compressedSize >> e.size >>
        e.versionMadeBy >> e.versionNeeded >> e.internalAttributes >> e.volume >> e.externalAttributes >> name >> extra >>
        comment;
    e.name = name == "-" ? "" : FromHex(name);
    e.extra = extra == "-" ? "" : FromHex(extra);
    e.comment = comment == "-" ? "" : FromHex(comment);
    entries.push_back(e);
  }
  return entries;
}

/// Raw inflate of `packed` into `size` bytes; empty with a failure when zlib disagrees.
inline std::string Inflate(const std::string& packed, std::size_t size) {
  std::string out(size, '\0');
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  EXPECT_TRUE(status == Z_STREAM_END || (status == Z_BUF_ERROR && size == 0)) << status;
  return out;
}

/// Opens entry `index`, checks the encryption header when there is one, reads, decrypts and
/// inflates its data, and closes it (checking a data descriptor). `headerOk` tells whether the
/// password passed the check; the data is empty when it did not.
inline std::string ReadEntryThroughRecords(CZipCentralDir& central, CZipStorage& storage, std::uint16_t index,
                                           const std::string& password = {}, bool* headerOk = nullptr) {
  central.OpenEntryHeader(index);
  const CZipFileHeader& header = *central.GetHeader(index);
  std::uint32_t packedSize = header.m_uComprSize;
  CZipCrypto crypto;
  if (header.IsEncrypted()) {
    const bool ok = crypto.CheckEncryptionHeader(password, header, storage);
    if (headerOk != nullptr) *headerOk = ok;
    if (!ok) {
      central.CloseEntryHeader(true);
      return {};
    }
    packedSize -= 12;
  }
  std::string packed(packedSize, '\0');
  storage.StorageRead(packed.data(), packedSize, false);
  if (header.IsEncrypted()) crypto.DecodeBuffer(packed.data(), packed.size());
  const std::string data = header.m_uMethod == 8 ? Inflate(packed, header.m_uUncomprSize) : packed;
  central.CloseEntryHeader(false);
  EXPECT_EQ(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))),
            header.m_uCrc32);
  return data;
}

/// Opens encrypted entry `index` and tells whether `password` passes its one-byte header check,
/// without reading the data (a wrong password that passes would only give garbage).
inline bool PasswordPassesCheck(CZipCentralDir& central, CZipStorage& storage, std::uint16_t index,
                                const std::string& password) {
  central.OpenEntryHeader(index);
  CZipCrypto crypto;
  const bool ok = crypto.CheckEncryptionHeader(password, *central.GetHeader(index), storage);
  central.CloseEntryHeader(true);
  return ok;
}

/// True when `command` is on the PATH; the peer tests skip themselves otherwise.
inline bool HavePeer(const std::string& command) {
  return RunCommand("command -v " + command + " >/dev/null").exitStatus == 0;
}

}  // namespace brevik::test
