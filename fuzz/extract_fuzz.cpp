// extract_fuzz.cpp -- libFuzzer target: every entry extracted into a folder; nothing outside it appears or changes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unistd.h>

#include "FuzzArchive.h"
#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"

namespace fs = std::filesystem;

namespace {

// A folder of its own for the whole run: the target inside it, and beside the target a file and a
// folder that must stay as they are.
struct Playground {
  Playground() {
    char pattern[] = "/tmp/brevik-extract-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) brevik::fuzz::Fail("no scratch folder");
    root = pattern;
    target = root / "target" / "inner";
    fs::create_directories(target);
    fs::create_directories(root / "beside");
    std::FILE* sentinel = std::fopen((root / "beside" / "keep.txt").c_str(), "w");
    std::fputs("keep me", sentinel);
    std::fclose(sentinel);
    before = Snapshot();
  }
  ~Playground() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // Everything under the root outside the target: path -> type, size and modification time.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> seen;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
      if (error) brevik::fuzz::Fail("cannot walk the scratch folder: " + error.message());
      const fs::path& path = it->path();
      if (path == target) {
        it.disable_recursion_pending();
        continue;
      }
      const fs::file_status status = it->symlink_status();
      std::string facts = std::to_string(static_cast<int>(status.type())) + " " +
                          std::to_string(static_cast<unsigned>(status.permissions()));
      if (status.type() == fs::file_type::regular) {
        facts += " " + std::to_string(fs::file_size(path)) + " " +
                 std::to_string(fs::last_write_time(path).time_since_epoch().count());
      }
      seen[path.string()] = facts;
    }
    return seen;
  }

  // Empties the target, whatever modes the entries gave its contents.
  void ClearTarget() const {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(target, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::directory_iterator(target, ignored)) fs::remove_all(entry.path(), ignored);
  }

  fs::path root;
  fs::path target;
  std::map<std::string, std::string> before;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Playground playground;
  if (size > (1u << 20)) return 0;
  CZipMemFile memory;
  memory.Write(data, static_cast<std::uint32_t>(size));
  CZipArchive archive;
  try {
    archive.Open(memory, CZipArchive::OpenReadOnly);
    archive.SetPassword("pw");
    archive.SetReadAhead(true);
    for (int i = 0; i < archive.GetCount(); ++i) {
      CZipFileHeader header;
      if (archive.GetEntryInfo(header, i) && header.m_uUncomprSize > brevik::fuzz::MaxEntryBytes) continue;
      try {
        archive.ExtractEntry(i, playground.target.string());
      } catch (const CZipException&) {
        archive.CloseEntryForReading(nullptr, true);
      } catch (const CZipFileException&) {
        archive.CloseEntryForReading(nullptr, true);
      }
    }
  } catch (const CZipException&) {
  } catch (const CZipFileException&) {
  }
  archive.Close(CZipArchive::CloseAfterError);
  if (playground.Snapshot() != playground.before) brevik::fuzz::Fail("an entry reached outside the target folder");
  playground.ClearTarget();
  return 0;
}
