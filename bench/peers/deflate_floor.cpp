// deflate_floor.cpp -- the benchmark's floor: read every file of a tree and raw-deflate or copy it.
//
// Usage: deflate_floor deflate LEVEL ROOT     read each regular file through 64 KiB buffers and
//                                            raw-deflate it (window bits -15) at LEVEL; the output
//                                            is counted and dropped
//        deflate_floor copy ROOT OUTPUT       read each file, CRC-32 it and append it to OUTPUT
//                                            through 64 KiB buffers (the floor of storing)
// It prints the bytes read and the bytes produced. Nothing here is Brevik code: it is the least
// work any ZIP writer has to do, measured with the same zlib.
#include <zlib.h>

#include <algorithm>
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

int DeflateTree(int level, const std::string& root) {
  std::vector<unsigned char> in(kBufferBytes), out(kBufferBytes);
  unsigned long long inBytes = 0, outBytes = 0;
  for (const std::string& path : SortedFiles(root)) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 1;
    ssize_t got;
    int flush = Z_NO_FLUSH;
    do {
      got = read(fd, in.data(), in.size());
      if (got < 0) got = 0;
      inBytes += static_cast<unsigned long long>(got);
      flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
      stream.next_in = in.data();
      stream.avail_in = static_cast<uInt>(got);
      do {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        outBytes += out.size() - stream.avail_out;
      } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    close(fd);
  }
  std::printf("read %llu bytes, deflated to %llu bytes\n", inBytes, outBytes);
  return 0;
}

int CopyTree(const std::string& root, const std::string& output) {
  int outFd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0) return 1;
  std::vector<unsigned char> buffer(kBufferBytes);
  unsigned long long bytes = 0;
  unsigned long crc = 0;
  for (const std::string& path : SortedFiles(root)) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    crc = crc32(0L, Z_NULL, 0);
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
      crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
      if (write(outFd, buffer.data(), static_cast<size_t>(got)) != got) return 1;
      bytes += static_cast<unsigned long long>(got);
    }
    close(fd);
  }
  close(outFd);
  std::printf("copied %llu bytes (last CRC %08lx)\n", bytes, crc);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "deflate") == 0) return DeflateTree(std::atoi(argv[2]), argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return CopyTree(argv[2], argv[3]);
  std::fprintf(stderr, "usage: deflate_floor deflate LEVEL ROOT | copy ROOT OUTPUT\n");
  return 2;
}
