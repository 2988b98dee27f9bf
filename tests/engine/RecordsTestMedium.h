// RecordsTestMedium.h -- opening test archive bytes through the file storage or the memory storage.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/ZipCentralDir.h"
#include "engine/ZipException.h"
#include "engine/ZipMemFile.h"
#include "engine/ZipStorage.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {

/// Where the archive bytes live while a test reads them.
enum class RecordsMedium { File, Memory };

inline std::string MediumName(const testing::TestParamInfo<RecordsMedium>& info) {
  return info.param == RecordsMedium::File ? "File" : "Memory";
}

/// Archive bytes opened read-only in a storage with a central directory on top.
class RecordsOpenArchive {
public:
  RecordsOpenArchive(const std::string& bytes, RecordsMedium medium) {
    if (medium == RecordsMedium::File) {
      path_ = scratch_ / "archive.zip";
      WriteFileBytes(path_, bytes);
      storage.StorageOpen(path_, CZipStorage::OpenReadOnly, 0);
    } else {
      memory_.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      storage.StorageOpenMemory(memory_, CZipStorage::OpenReadOnly);
    }
  }
  ~RecordsOpenArchive() { storage.StorageClose(true); }
  RecordsOpenArchive(const RecordsOpenArchive&) = delete;
  RecordsOpenArchive& operator=(const RecordsOpenArchive&) = delete;

  /// The path of the archive file; empty for memory.
  const std::string& path() const { return path_; }

  CZipStorage storage;
  CZipCentralDir central{&storage};

private:
  ScratchDir scratch_;
  std::string path_;
  CZipMemFile memory_;
};

/// The code of the `CZipException` that `action` throws (0 for none), its message and file name.
struct RecordsError {
  int code = 0;
  std::string message;
  std::string fileName;
  std::string detail;
};

template <class Action>
RecordsError RecordsErrorOf(Action&& action) {
  RecordsError result;
  try {
    action();
  } catch (const CZipException& error) {
    result.code = error.GetCause();
    result.message = error.GetErrorDescription();
    result.fileName = error.GetFileName();
    result.detail = error.GetDetail();
  }
  return result;
}

inline constexpr const char* kBadArchiveText = "Damaged or not a zip file";
inline constexpr const char* kNoDirectoryText =
    "The central directory was not found in the archive (or you were trying to open not the last disk of a "
    "multi-disk archive)";

}  // namespace brevik::test
