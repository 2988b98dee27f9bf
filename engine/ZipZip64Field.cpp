// ZipZip64Field.cpp -- reading, building and removing the ZIP64 extended information extra field.
#include "engine/ZipZip64Field.h"

#include <algorithm>

#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"

namespace EF = ZipFormat::ExtraField;

namespace Zip64Field {

std::string Read(const char* data, std::uint16_t dataSize, const Presence& present, Values& values) {
  std::uint32_t at = 0;
  const auto take = [&]<typename T>(T& value) {
    if (dataSize < at + sizeof(T)) return false;
    value = ReadLE<T>(data + at);
    at += sizeof(T);
    return true;
  };
  if ((!present.uncompressed || take(values.uncompressed)) && (!present.compressed || take(values.compressed)) &&
      (!present.offset || take(values.offset)) && (!present.diskStart || take(values.diskStart)))
    return {};
  return "the ZIP64 extra field holds " + std::to_string(dataSize) + " bytes, " +
         std::to_string(present.DataSize()) + " are needed";
}

void Append(std::string& out, const Presence& present, const Values& values) {
  char bytes[EF::BlockHeaderSize + 28];
  WriteLE(bytes + EF::HeaderId, EF::Zip64Id);
  WriteLE(bytes + EF::DataSize, present.DataSize());
  char* p = bytes + EF::BlockHeaderSize;
  const auto put = [&p]<typename T>(T value) {
    WriteLE(p, value);
    p += sizeof(T);
  };
  if (present.uncompressed) put(values.uncompressed);
  if (present.compressed) put(values.compressed);
  if (present.offset) put(values.offset);
  if (present.diskStart) put(values.diskStart);
  out.append(bytes, p);
}

std::string Without(const char* extra, std::uint32_t extraSize) {
  std::string kept;
  std::uint32_t at = 0;
  while (at + EF::BlockHeaderSize <= extraSize) {
    const auto id = ReadLE<std::uint16_t>(extra + at + EF::HeaderId);
    const auto size = ReadLE<std::uint16_t>(extra + at + EF::DataSize);
    const std::uint32_t blockEnd = std::min<std::uint32_t>(at + EF::BlockHeaderSize + size, extraSize);
    if (id != EF::Zip64Id) kept.append(extra + at, blockEnd - at);
    at = blockEnd;
  }
  if (at < extraSize) kept.append(extra + at, extraSize - at);
  return kept;
}

bool Has(const char* extra, std::uint32_t extraSize) {
  std::uint32_t at = 0;
  while (at + EF::BlockHeaderSize <= extraSize) {
    if (ReadLE<std::uint16_t>(extra + at + EF::HeaderId) == EF::Zip64Id) return true;
    at += EF::BlockHeaderSize + ReadLE<std::uint16_t>(extra + at + EF::DataSize);
  }
  return false;
}

}  // namespace Zip64Field
