// delete_bench.cpp -- deleting the first and the last entry of a large archive, against "zip -d" and a plain copy.
//
// Usage: delete_bench [archive MiB (default 256)] [rounds (default 3)]
// Builds an archive of eight stored entries with Info-ZIP zip in a scratch folder under $TMPDIR
// (or /tmp), then times, side by side and round by round, on fresh copies of it:
//   - DeleteEntries of the last entry, and "zip -d" of the same entry;
//   - DeleteEntries of the first entry, "zip -d" of it, and a plain copy of the bytes behind the
//     first entry into a new file (the least any in-place deletion of it can cost).
// It prints the median of each and the ratios the engine is held to: "zip -d" at least 3 times
// slower for the last entry; for the first, within 1.2 times the plain copy and no slower than
// "zip -d". Every contender is timed the same way: its result is made durable (fsync) before
// its time stops. Neither the engine's close nor zip syncs by itself, so the benchmark syncs
// each one's file.
#include "engine/ZipArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int EntryCount = 8;
constexpr std::size_t PieceBytes = 65536;

/// Seconds taken by `action`.
double Seconds(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

/// Runs a shell command; exits the program when it fails.
void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

/// Writes `bytes` incompressible bytes to `path`.
void WriteNoise(const std::string& path, std::size_t bytes, unsigned seed) {
  std::mt19937_64 generator(seed);
  std::vector<std::uint64_t> piece(PieceBytes / sizeof(std::uint64_t));
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::exit(1);
  for (std::size_t written = 0; written < bytes; written += PieceBytes) {
    for (auto& word : piece) word = generator();
    std::fwrite(piece.data(), 1, std::min(PieceBytes, bytes - written), file);
  }
  std::fclose(file);
}

/// fsync of `path`.
void SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

/// Copies the bytes of `from` starting at `offset` into a new file `to`, through a buffer of the
/// size the engine moves data with, and makes it durable.
void CopyTail(const std::string& from, std::uint64_t offset, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0) std::exit(1);
  std::vector<char> buffer(PieceBytes);
  ::lseek(in, static_cast<off_t>(offset), SEEK_SET);
  for (ssize_t got; (got = ::read(in, buffer.data(), buffer.size())) > 0;) {
    if (::write(out, buffer.data(), static_cast<std::size_t>(got)) != got) std::exit(1);
  }
  ::fsync(out);
  ::close(out);
  ::close(in);
}

/// Deletes entry `index` with the engine (the archive's close writes the directory), then makes
/// the file durable as the other contenders' files are made.
void EngineDelete(const std::string& path, std::uint16_t index) {
  {
    CZipArchive archive;
    archive.Open(path, CZipArchive::OpenExisting);
    std::vector<std::uint16_t> indexes{index};
    archive.DeleteEntries(indexes);
    archive.Close();
  }
  SyncFile(path);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t archiveMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const char* tmp = std::getenv("TMPDIR");
  const fs::path dir = fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / ("delete_bench." + std::to_string(getpid()));
  fs::create_directories(dir / "src");

  const std::size_t entryBytes = archiveMiB * 1024 * 1024 / EntryCount;
  std::string names;
  for (int i = 0; i < EntryCount; ++i) {
    const std::string name = "entry" + std::to_string(i) + ".bin";
    WriteNoise((dir / "src" / name).string(), entryBytes, static_cast<unsigned>(i + 1));
    names += " " + name;
  }
  const std::string original = (dir / "original.zip").string();
  Run("cd '" + (dir / "src").string() + "' && zip -q -0 '" + original + "'" + names);
  fs::remove_all(dir / "src");
  std::uint64_t firstEntryEnd = 0;
  {
    CZipArchive archive;
    archive.Open(original, CZipArchive::OpenReadOnly);
    CZipFileHeader second;
    archive.GetEntryInfo(second, 1);
    firstEntryEnd = second.m_uOffset;
    archive.Close();
  }

  const std::string work = (dir / "work.zip").string();
  const std::string lastName = "entry" + std::to_string(EntryCount - 1) + ".bin";
  std::vector<double> oursLast, zipLast, oursFirst, zipFirst, copyRest;
  auto fresh = [&] {
    fs::copy_file(original, work, fs::copy_options::overwrite_existing);
    SyncFile(work);
  };
  for (int round = 0; round < rounds; ++round) {
    fresh();
    oursLast.push_back(Seconds([&] { EngineDelete(work, EntryCount - 1); }));
    fresh();
    zipLast.push_back(Seconds([&] {
      Run("zip -q -d '" + work + "' " + lastName);
      SyncFile(work);
    }));
    fresh();
    oursFirst.push_back(Seconds([&] { EngineDelete(work, 0); }));
    fresh();
    zipFirst.push_back(Seconds([&] {
      Run("zip -q -d '" + work + "' entry0.bin");
      SyncFile(work);
    }));
    copyRest.push_back(Seconds([&] { CopyTail(original, firstEntryEnd, (dir / "tail.bin").string()); }));
    fs::remove(dir / "tail.bin");
  }
  fs::remove_all(dir);

  const double ol = Median(oursLast), zl = Median(zipLast), of = Median(oursFirst), zf = Median(zipFirst),
               cr = Median(copyRest);
  std::printf("archive: %zu MiB in %d stored entries, %d rounds, medians in seconds\n", archiveMiB, EntryCount, rounds);
  std::printf("delete last : engine %.4f  zip -d %.4f  -> zip -d / engine = %.1fx (want >= 3)\n", ol, zl, zl / ol);
  std::printf("delete first: engine %.4f  zip -d %.4f  copy of the rest %.4f\n", of, zf, cr);
  std::printf("              engine / copy = %.2f (want <= 1.2), engine / zip -d = %.2f (want <= 1.0)\n", of / cr,
              of / zf);
  return 0;
}
