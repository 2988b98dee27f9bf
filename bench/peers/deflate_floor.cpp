// deflate_floor.cpp -- the benchmark's floor: the least work a ZIP writer or reader does, with the fastest library calls.
//
// Usage: deflate_floor deflate LEVEL ROOT     read each regular file of ROOT whole and raw-deflate
//                                            it (RFC 1951) at LEVEL with libdeflate's one-call
//                                            compressor, computing its CRC-32; the output is
//                                            counted and dropped
//        deflate_floor copy ROOT OUTPUT       read each file, CRC-32 it and append it to OUTPUT
//                                            through 64 KiB buffers (the floor of storing)
//        deflate_floor inflate ARCHIVE OUTDIR read each deflated or stored entry of ARCHIVE (local
//                                            headers with their sizes, as zip writes them), inflate
//                                            it whole with libdeflate, CRC-32 it and write it to a
//                                            file of its own in OUTDIR (the floor of extracting)
// It prints the bytes read and the bytes produced. Nothing here is Brevik code. Every CRC-32 is
// libdeflate's (the fastest call for it on this machine); deflate and inflate are libdeflate's
// whole-buffer calls, on one thread: the floor of one core's work, which a multi-threaded tool
// may pass in wall time but not in CPU time.
#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

std::vector<std::string> SortedFiles(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && !entry.is_symlink()) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool ReadWhole(const std::string& path, std::vector<unsigned char>& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  std::vector<unsigned char> piece(kBufferBytes);
  ssize_t got;
  while ((got = read(fd, piece.data(), piece.size())) > 0) bytes.insert(bytes.end(), piece.data(), piece.data() + got);
  close(fd);
  return got == 0;
}

int DeflateTree(int level, const std::string& root) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (compressor == nullptr) return 1;
  std::vector<unsigned char> in, out;
  unsigned long long inBytes = 0, outBytes = 0;
  std::uint32_t crc = 0;
  for (const std::string& path : SortedFiles(root)) {
    if (!ReadWhole(path, in)) continue;
    inBytes += in.size();
    crc = libdeflate_crc32(0, in.data(), in.size());
    out.resize(libdeflate_deflate_compress_bound(compressor, in.size()));
    outBytes += libdeflate_deflate_compress(compressor, in.data(), in.size(), out.data(), out.size());
  }
  libdeflate_free_compressor(compressor);
  std::printf("read %llu bytes, deflated to %llu bytes (last CRC %08x)\n", inBytes, outBytes, crc);
  return 0;
}

int CopyTree(const std::string& root, const std::string& output) {
  int outFd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0) return 1;
  std::vector<unsigned char> buffer(kBufferBytes);
  unsigned long long bytes = 0;
  std::uint32_t crc = 0;
  for (const std::string& path : SortedFiles(root)) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    crc = 0;
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
      crc = libdeflate_crc32(crc, buffer.data(), static_cast<size_t>(got));
      if (write(outFd, buffer.data(), static_cast<size_t>(got)) != got) return 1;
      bytes += static_cast<unsigned long long>(got);
    }
    close(fd);
  }
  close(outFd);
  std::printf("copied %llu bytes (last CRC %08x)\n", bytes, crc);
  return 0;
}

std::uint32_t Le(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

int InflateArchive(const std::string& archive, const std::string& outDir) {
  std::vector<unsigned char> zip, data;
  if (!ReadWhole(archive, zip)) return 1;
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  if (decompressor == nullptr) return 1;
  unsigned long long inBytes = 0, outBytes = 0;
  size_t at = 0;
  int index = 0;
  // Local file headers one after another (APPNOTE 4.3.7): the central directory ends them.
  while (at + 30 <= zip.size() && Le(&zip[at], 4) == 0x04034b50) {
    const unsigned method = Le(&zip[at + 8], 2);
    const std::uint32_t packed = Le(&zip[at + 18], 4), size = Le(&zip[at + 22], 4);
    const size_t dataAt = at + 30 + Le(&zip[at + 26], 2) + Le(&zip[at + 28], 2);
    if (dataAt + packed > zip.size() || (Le(&zip[at + 6], 2) & 0x8) != 0) return 1;
    const unsigned char* bytes = &zip[dataAt];
    if (method == 8) {
      data.resize(std::max<size_t>(size, 1));
      if (libdeflate_deflate_decompress(decompressor, bytes, packed, data.data(), size, nullptr) != LIBDEFLATE_SUCCESS)
        return 1;
      bytes = data.data();
    }
    if (libdeflate_crc32(0, bytes, size) != Le(&zip[at + 14], 4)) return 1;
    const std::string path = outDir + "/" + std::to_string(index++);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || (size > 0 && write(fd, bytes, size) != static_cast<ssize_t>(size))) return 1;
    close(fd);
    inBytes += packed;
    outBytes += size;
    at = dataAt + packed;
  }
  libdeflate_free_decompressor(decompressor);
  std::printf("read %llu packed bytes, inflated to %llu bytes in %d files\n", inBytes, outBytes, index);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "deflate") == 0) return DeflateTree(std::atoi(argv[2]), argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return CopyTree(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "inflate") == 0) return InflateArchive(argv[2], argv[3]);
  std::fprintf(stderr, "usage: deflate_floor deflate LEVEL ROOT | copy ROOT OUTPUT | inflate ARCHIVE OUTDIR\n");
  return 2;
}
