// read_fuzz.cpp -- libFuzzer target: every entry read with and without a password, with and without read-ahead; both ways agree.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzArchive.h"
#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"

namespace {

using brevik::fuzz::EntryOutcome;

// Every entry's outcome, or nothing when the archive itself does not open.
std::optional<std::vector<EntryOutcome>> ReadAll(const std::uint8_t* data, std::size_t size, const char* password,
                                                 bool readAhead) {
  CZipMemFile memory;
  memory.Write(data, static_cast<std::uint32_t>(size));
  CZipArchive archive;
  try {
    archive.Open(memory, CZipArchive::OpenReadOnly);
  } catch (const CZipException&) {
    archive.Close(CZipArchive::CloseAfterError);
    return std::nullopt;
  } catch (const CZipFileException&) {
    archive.Close(CZipArchive::CloseAfterError);
    return std::nullopt;
  }
  archive.SetPassword(password);
  archive.SetReadAhead(readAhead);
  std::vector<EntryOutcome> outcomes = brevik::fuzz::ReadEveryEntry(archive);
  archive.Close(CZipArchive::CloseAfterError);
  if (archive.GetZlibBlockCount() != 0) brevik::fuzz::Fail("zlib blocks left after the archive was closed");
  return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
    const auto plain = ReadAll(data, size, password, false);
    const auto ahead = ReadAll(data, size, password, true);
    if (plain.has_value() != ahead.has_value()) brevik::fuzz::Fail("the archive opens one way and not the other");
    if (!plain) return 0;
    for (std::size_t i = 0; i < plain->size(); ++i) {
      if ((*plain)[i] == (*ahead)[i]) continue;
      brevik::fuzz::Fail("entry " + std::to_string(i) + (password ? " with" : " without") +
                         " a password: read-ahead gives code " + std::to_string((*ahead)[i].code) + ", " +
                         std::to_string((*ahead)[i].bytes) + " bytes; reading in place gives code " +
                         std::to_string((*plain)[i].code) + ", " + std::to_string((*plain)[i].bytes) + " bytes");
    }
  }
  return 0;
}
