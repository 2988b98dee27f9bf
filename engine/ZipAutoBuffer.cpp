// ZipAutoBuffer.cpp -- CZipAutoBuffer's allocation, deep copy, slash flipping and CP437 conversion.
#include "engine/ZipAutoBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include <iconv.h>

namespace {

/// One iconv conversion descriptor, closed when it goes.
class IconvHandle {
public:
  IconvHandle(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) ::iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const noexcept { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const noexcept { return handle_; }

private:
  iconv_t handle_;
};

/// Length of the UTF-8 sequence that `lead` starts, 1 for a byte that starts none.
std::size_t Utf8SequenceLength(unsigned char lead) noexcept {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

/// Converts `input` with `handle`. A sequence the target cannot hold, or one the source does not
/// form, becomes one "?" (a whole UTF-8 sequence when `sourceIsUtf8`, else one byte); `lossless`
/// turns false then.
std::string Convert(const IconvHandle& handle, std::string_view input, bool sourceIsUtf8, bool& lossless) {
  std::string output;
  std::string chunk(4 * input.size() + 16, '\0');
  char* in = const_cast<char*>(input.data());  // iconv's interface is not const-correct
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* out = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t result = ::iconv(handle.get(), &in, &inLeft, &out, &outLeft);
    output.append(chunk.data(), chunk.size() - outLeft);
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip what cannot be converted and mark its place.
    std::size_t skip = 1;
    if (sourceIsUtf8) skip = std::min(inLeft, Utf8SequenceLength(static_cast<unsigned char>(*in)));
    // An invalid continuation inside the sequence belongs to the next character, not this one.
    for (std::size_t i = 1; i < skip; ++i) {
      if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) {
        skip = i;
        break;
      }
    }
    in += skip;
    inLeft -= skip;
    output.push_back('?');
    lossless = false;
    ::iconv(handle.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return output;
}

}  // namespace

CZipAutoBuffer::CZipAutoBuffer(std::uint32_t size, bool zero) { Allocate(size, zero); }

CZipAutoBuffer::CZipAutoBuffer(const CZipAutoBuffer& other) { *this = other; }

CZipAutoBuffer& CZipAutoBuffer::operator=(const CZipAutoBuffer& other) {
  if (this == &other) return *this;
  Release();
  if (other.IsAllocated()) {
    Allocate(other.size_);
    std::memcpy(data_.get(), other.data_.get(), size_);
  }
  return *this;
}

CZipAutoBuffer::CZipAutoBuffer(CZipAutoBuffer&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}

CZipAutoBuffer& CZipAutoBuffer::operator=(CZipAutoBuffer&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

char* CZipAutoBuffer::Allocate(std::uint32_t size, bool zero) {
  if (size != size_) {
    Release();
    if (size != 0) {
      data_ = std::make_unique_for_overwrite<char[]>(size);
      size_ = size;
    }
  }
  if (zero && size_ != 0) std::memset(data_.get(), 0, size_);
  return data_.get();
}

void CZipAutoBuffer::Release() noexcept {
  data_.reset();
  size_ = 0;
}

void CZipAutoBuffer::Assign(const void* bytes, std::uint32_t size) {
  if (size == 0) {
    Release();
    return;
  }
  // `bytes` may lie inside this buffer: copy before the block is replaced.
  auto block = std::make_unique_for_overwrite<char[]>(size);
  std::memcpy(block.get(), bytes, size);
  data_ = std::move(block);
  size_ = size;
}

void CZipAutoBuffer::Assign(std::string_view text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("CZipAutoBuffer: text too long");
  Assign(text.data(), static_cast<std::uint32_t>(text.size()));
}

void CZipAutoBuffer::FlipSlashes(bool towardsBackslash) noexcept {
  const char from = towardsBackslash ? '/' : '\\';
  const char to = towardsBackslash ? '\\' : '/';
  std::replace(data_.get(), data_.get() + size_, from, to);
}

bool CZipAutoBuffer::ConvertOemAnsi(bool toOem) {
  if (size_ == 0) return true;
  const IconvHandle handle(toOem ? "CP437" : "UTF-8", toOem ? "UTF-8" : "CP437");
  if (!handle.valid()) throw std::runtime_error("CZipAutoBuffer: the CP437 conversion is not available");
  bool lossless = true;
  const std::string converted = Convert(handle, View(), toOem, lossless);
  Assign(converted);
  return lossless;
}
