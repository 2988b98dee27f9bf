// ZipEntryName.cpp -- CP437 <-> UTF-8 through glibc iconv, and UTF-8 validation for entry names.
#include "engine/ZipEntryName.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace {

// Owns one iconv conversion descriptor.
class IconvHandle {
public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

private:
  iconv_t handle_;
};

// The whole of `input` converted, or nothing when iconv stops at a byte it cannot convert.
std::optional<std::string> Convert(const char* to, const char* from, const std::string& input) {
  IconvHandle cd(to, from);
  if (!cd.valid()) return std::nullopt;
  std::string output;
  // Four output bytes per input byte cover the longest UTF-8 form of a CP437 character.
  output.resize(input.size() * 4 + 4);
  char* in = const_cast<char*>(input.data());  // iconv's prototype is not const-correct
  std::size_t inLeft = input.size();
  char* out = output.data();
  std::size_t outLeft = output.size();
  while (inLeft > 0) {
    if (iconv(cd.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
      if (errno != E2BIG) return std::nullopt;
      const std::size_t used = output.size() - outLeft;
      output.resize(output.size() * 2);
      out = output.data() + used;
      outLeft = output.size() - used;
    }
  }
  output.resize(output.size() - outLeft);
  return output;
}

}  // namespace

namespace ZipEntryName {

bool IsDosFamily(int hostSystem) {
  return hostSystem == 0 || hostSystem == 6 || hostSystem == 10 || hostSystem == 11;
}

bool IsAscii(const std::string& bytes) {
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool IsValidUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

std::string Cp437ToUtf8(const std::string& bytes) {
  if (IsAscii(bytes)) return bytes;
  // CP437 maps all 256 byte values, so a failure here means iconv lacks the table; the bytes
  // as stored are then the best host form there is.
  return Convert("UTF-8", "CP437", bytes).value_or(bytes);
}

std::optional<std::string> Utf8ToCp437(const std::string& text) {
  if (IsAscii(text)) return text;
  if (!IsValidUtf8(text)) return std::nullopt;
  return Convert("CP437", "UTF-8", text);
}

}  // namespace ZipEntryName
