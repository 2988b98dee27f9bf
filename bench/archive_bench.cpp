// archive_bench.cpp -- the archive object against its floor: plain zlib and plain file I/O on the same bytes.
//
// Measures, in CPU seconds (user + system of this process), the best of several alternating runs:
//   add deflated    CZipArchive::AddFile at level 6   vs  read 64 KiB, deflate (zlib, raw, level 6), write
//   extract deflated CZipArchive::ExtractEntry        vs  read 64 KiB, inflate (zlib), write the file
// (an entry of this size is larger than any the engine holds in memory whole, so the engine
// streams it through zlib, and so does its floor), and on a 1 MiB file, which the engine takes whole:
//   extract 1 MiB   CZipArchive::ExtractEntry         vs  read it whole, inflate it whole (libdeflate), write
// Every floor also computes the CRC-32 of the data, which no archive can do without, with
// libdeflate_crc32, the fastest call for it here (the engine's own).
//   add stored      CZipArchive::AddFile at level 0   vs  read 64 KiB, CRC-32, write
//   extract stored  CZipArchive::ExtractEntry         vs  read 64 KiB, CRC-32, write
// and the peak resident memory of adding and extracting a small and a large file, each in a
// child process of its own, which must not grow with the file's size.
//
// Usage: archive_bench [size in MiB, default 64] [runs, default 5]
#include "engine/ZipArchive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <libdeflate.h>
#include <zlib.h>

namespace {

constexpr std::size_t ChunkBytes = 65536;
constexpr int Level = 6;

/// CPU seconds (user + system) used by this process so far.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// A file descriptor closed at the end of its scope.
class Fd {
public:
  Fd(const std::string& path, int flags) : fd_(open(path.c_str(), flags | O_CLOEXEC, 0644)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
  }
  ~Fd() { close(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

void WriteAll(int fd, const unsigned char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t done = write(fd, bytes, count);
    if (done <= 0) throw std::runtime_error("write failed");
    bytes += done;
    count -= static_cast<std::size_t>(done);
  }
}

/// Writes `megabytes` MiB of text-like data (words from a small vocabulary, which deflate to
/// about a third) or of random bytes, 64 KiB at a time, so the corpus never sits in memory.
void MakeCorpus(const std::string& path, std::size_t megabytes, bool compressible) {
  static const char* const words[] = {"archive", "entry", "header", "volume", "deflate", "stored", "central",
                                      "directory", "local", "offset", "the", "of", "and", "a", "to", "in",
                                      "data", "size", "name", "time"};
  std::mt19937 random(42);
  Fd out(path, O_WRONLY | O_CREAT | O_TRUNC);
  std::vector<unsigned char> chunk(ChunkBytes);
  for (std::size_t written = 0; written < megabytes * 1024 * 1024; written += ChunkBytes) {
    std::size_t at = 0;
    while (at < ChunkBytes) {
      if (compressible) {
        const char* word = words[random() % 20];
        for (; *word != '\0' && at < ChunkBytes; ++word) chunk[at++] = static_cast<unsigned char>(*word);
        if (at < ChunkBytes) chunk[at++] = random() % 11 == 0 ? '\n' : ' ';
      } else {
        chunk[at++] = static_cast<unsigned char>(random());
      }
    }
    WriteAll(out.get(), chunk.data(), ChunkBytes);
  }
}

void FloorDeflate(const std::string& source, const std::string& target) {
  Fd in(source, O_RDONLY), out(target, O_WRONLY | O_CREAT | O_TRUNC);
  std::vector<unsigned char> input(ChunkBytes), output(ChunkBytes);
  z_stream stream{};
  deflateInit2(&stream, Level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::uint32_t crc = 0;
  for (;;) {
    ssize_t got = read(in.get(), input.data(), ChunkBytes);
    if (got < 0) throw std::runtime_error("read failed");
    crc = libdeflate_crc32(crc, input.data(), static_cast<std::size_t>(got));
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(got);
    int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    int result;
    do {
      stream.next_out = output.data();
      stream.avail_out = ChunkBytes;
      result = deflate(&stream, flush);
      WriteAll(out.get(), output.data(), ChunkBytes - stream.avail_out);
    } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    if (got == 0) break;
  }
  deflateEnd(&stream);
  if (crc == 1) std::puts("");  // keep the checksum from being optimised away
}

void FloorInflate(const std::string& source, const std::string& target) {
  Fd in(source, O_RDONLY), out(target, O_WRONLY | O_CREAT | O_TRUNC);
  std::vector<unsigned char> input(ChunkBytes), output(ChunkBytes);
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  std::uint32_t crc = 0;
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    ssize_t got = read(in.get(), input.data(), ChunkBytes);
    if (got <= 0) break;
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(got);
    do {
      stream.next_out = output.data();
      stream.avail_out = ChunkBytes;
      result = inflate(&stream, Z_NO_FLUSH);
      std::size_t produced = ChunkBytes - stream.avail_out;
      crc = libdeflate_crc32(crc, output.data(), produced);
      WriteAll(out.get(), output.data(), produced);
    } while (stream.avail_out == 0 && result == Z_OK);
  }
  inflateEnd(&stream);
  if (crc == 1) std::puts("");
}

/// Reads all of `path`.
std::vector<unsigned char> ReadAll(const std::string& path) {
  Fd in(path, O_RDONLY);
  std::vector<unsigned char> bytes, piece(ChunkBytes);
  for (ssize_t got; (got = read(in.get(), piece.data(), ChunkBytes)) > 0;) bytes.insert(bytes.end(), piece.data(), piece.data() + got);
  return bytes;
}

/// Raw-deflates all of `source` at once with libdeflate into `target`.
void FloorDeflateWhole(const std::string& source, const std::string& target) {
  const std::vector<unsigned char> input = ReadAll(source);
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(Level);
  std::vector<unsigned char> output(libdeflate_deflate_compress_bound(compressor, input.size()));
  output.resize(libdeflate_deflate_compress(compressor, input.data(), input.size(), output.data(), output.size()));
  libdeflate_free_compressor(compressor);
  Fd out(target, O_WRONLY | O_CREAT | O_TRUNC);
  WriteAll(out.get(), output.data(), output.size());
}

/// Inflates all of `source` (raw deflate of `size` bytes) at once with libdeflate, CRC-32s it
/// and writes it to `target`.
void FloorInflateWhole(const std::string& source, std::size_t size, const std::string& target) {
  const std::vector<unsigned char> input = ReadAll(source);
  std::vector<unsigned char> output(size);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  const bool inflated = libdeflate_deflate_decompress(decompressor, input.data(), input.size(), output.data(), size,
                                                      nullptr) == LIBDEFLATE_SUCCESS;
  libdeflate_free_decompressor(decompressor);
  if (!inflated) throw std::runtime_error("floor inflate failed");
  const std::uint32_t crc = libdeflate_crc32(0, output.data(), output.size());
  Fd out(target, O_WRONLY | O_CREAT | O_TRUNC);
  WriteAll(out.get(), output.data(), output.size());
  if (crc == 1) std::puts("");
}

void FloorCopy(const std::string& source, const std::string& target) {
  Fd in(source, O_RDONLY), out(target, O_WRONLY | O_CREAT | O_TRUNC);
  std::vector<unsigned char> buffer(ChunkBytes);
  std::uint32_t crc = 0;
  for (;;) {
    ssize_t got = read(in.get(), buffer.data(), ChunkBytes);
    if (got <= 0) break;
    crc = libdeflate_crc32(crc, buffer.data(), static_cast<std::size_t>(got));
    WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(got));
  }
  if (crc == 1) std::puts("");
}

void EngineAdd(const std::string& source, const std::string& zip, int level) {
  CZipArchive archive;
  archive.Open(zip, CZipArchive::CreateNew);
  if (!archive.AddFile(source, level, false)) throw std::runtime_error("AddFile failed");
  archive.Close();
}

void EngineExtract(const std::string& zip, const std::string& folder) {
  CZipArchive archive;
  archive.Open(zip, CZipArchive::OpenReadOnly);
  if (!archive.ExtractEntry(0, folder, false)) throw std::runtime_error("ExtractEntry failed");
  archive.Close();
}

/// Best CPU time of `runs` runs of each, alternating so both see the same machine state; each
/// run does its work `repeat` times, so that quick work stays well above the clock's grain.
std::pair<double, double> Compare(int runs, const std::function<void()>& floor, const std::function<void()>& engine,
                                  int repeat = 1) {
  double bestFloor = 1e30, bestEngine = 1e30;
  for (int i = 0; i < runs; ++i) {
    double start = CpuSeconds();
    for (int r = 0; r < repeat; ++r) floor();
    bestFloor = std::min(bestFloor, CpuSeconds() - start);
    start = CpuSeconds();
    for (int r = 0; r < repeat; ++r) engine();
    bestEngine = std::min(bestEngine, CpuSeconds() - start);
  }
  return {bestFloor, bestEngine};
}

bool Report(const char* what, std::pair<double, double> times, double allowed) {
  double ratio = times.second / times.first;
  bool ok = ratio <= allowed;
  std::printf("%-18s floor %8.3f s  engine %8.3f s  ratio %.3f  (at most %.2f)  %s\n", what, times.first,
              times.second, ratio, allowed, ok ? "ok" : "OVER");
  return ok;
}

/// Peak resident kilobytes of `action` run in a child process of its own.
long PeakKilobytes(const std::function<void()>& action) {
  pid_t child = fork();
  if (child == 0) {
    try {
      action();
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/brevik-bench-XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) return 2;
  std::string text = dir + "/text.txt", noise = dir + "/noise.bin", small = dir + "/small.txt";
  MakeCorpus(text, megabytes, true);
  MakeCorpus(noise, megabytes, false);
  MakeCorpus(small, 1, true);
  std::printf("archive benchmark: %zu MiB per corpus, best of %d runs, CPU seconds\n", megabytes, runs);

  bool ok = true;
  ok &= Report("add deflated", Compare(runs, [&] { FloorDeflate(text, dir + "/floor.deflate"); },
                                       [&] { EngineAdd(text, dir + "/deflated.zip", Level); }),
               1.05);
  mkdir((dir + "/out").c_str(), 0755);
  ok &= Report("extract deflated", Compare(runs, [&] { FloorInflate(dir + "/floor.deflate", dir + "/floor.out"); },
                                           [&] { EngineExtract(dir + "/deflated.zip", dir + "/out"); }),
               1.10);
  FloorDeflateWhole(small, dir + "/small.deflate");
  EngineAdd(small, dir + "/small.zip", Level);
  ok &= Report("extract 1 MiB", Compare(runs, [&] { FloorInflateWhole(dir + "/small.deflate", 1024 * 1024, dir + "/floor.out"); },
                                        [&] { EngineExtract(dir + "/small.zip", dir + "/out"); }, 32),
               1.10);
  ok &= Report("add stored", Compare(runs, [&] { FloorCopy(noise, dir + "/floor.copy"); },
                                     [&] { EngineAdd(noise, dir + "/stored.zip", 0); }, 8),
               1.10);
  ok &= Report("extract stored", Compare(runs, [&] { FloorCopy(dir + "/floor.copy", dir + "/floor.out"); },
                                         [&] { EngineExtract(dir + "/stored.zip", dir + "/out"); }, 8),
               1.10);

  long addSmall = PeakKilobytes([&] { EngineAdd(small, dir + "/peak-small.zip", Level); });
  long addLarge = PeakKilobytes([&] { EngineAdd(text, dir + "/peak-large.zip", Level); });
  long extractSmall = PeakKilobytes([&] { EngineExtract(dir + "/peak-small.zip", dir + "/out"); });
  long extractLarge = PeakKilobytes([&] { EngineExtract(dir + "/peak-large.zip", dir + "/out"); });
  // A file 64 times larger may cost a few pages of page-table and allocator noise, not data.
  bool flat = addLarge - addSmall < 1024 && extractLarge - extractSmall < 1024;
  std::printf("peak memory        add 1 MiB %ld KiB, add %zu MiB %ld KiB; extract %ld KiB / %ld KiB  %s\n", addSmall,
              megabytes, addLarge, extractSmall, extractLarge, flat ? "ok (does not grow)" : "GROWS");
  ok &= flat;

  std::string cleanup = "rm -rf '" + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  return ok ? 0 : 1;
}
