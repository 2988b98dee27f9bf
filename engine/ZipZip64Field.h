// ZipZip64Field.h -- the ZIP64 extended information extra field (header id 0x0001): reading, building, removing.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ZipAutoBuffer.h"

/// The ZIP64 extended information extra field (ZIP application note 4.5.3):
///
///   | Off | Size | Field                                  |
///   |-----|------|----------------------------------------|
///   |   0 |   2  | header id 0x0001                       |
///   |   2 |   2  | data size                              |
///   |   4 |   8  | original (uncompressed) size           |
///   |   . |   8  | compressed size                        |
///   |   . |   8  | relative offset of local header        |
///   |   . |   4  | disk start number                      |
///
/// Each value is present only when the header's own field holds its placeholder (0xFFFFFFFF,
/// 0xFFFF for the disk), and the present ones follow in the order above. A local header that
/// carries the field must hold both sizes (4.5.3), so a local header always has the first two.
namespace Zip64Field {

/// Which of a header's fields hold the placeholder, so that their values live in the field.
struct Presence {
  bool uncompressed = false;
  bool compressed = false;
  bool offset = false;
  bool diskStart = false;

  bool Any() const { return uncompressed || compressed || offset || diskStart; }
  /// Bytes of the field's data (without its 4-byte block header).
  std::uint16_t DataSize() const {
    return static_cast<std::uint16_t>(8 * (int{uncompressed} + int{compressed} + int{offset}) + 4 * int{diskStart});
  }
};

/// The values the field holds; only those marked present are read or written.
struct Values {
  std::uint64_t uncompressed = 0;
  std::uint64_t compressed = 0;
  std::uint64_t offset = 0;
  std::uint32_t diskStart = 0;
};

/// Reads the present values from the `dataSize` bytes of a 0x0001 block's data at `data`, in the
/// note's order. Returns an empty text, or what was missing ("the ZIP64 extra field holds 8 bytes,
/// 16 are needed") when the data is too short; the values read before that are set.
std::string Read(const char* data, std::uint16_t dataSize, const Presence& present, Values& values);

/// Appends the whole block (header id, data size, the present values) to `out`.
void Append(std::string& out, const Presence& present, const Values& values);

/// `extra` without its 0x0001 blocks. Trailing bytes too short for a block header (some tools
/// pad) and a last block that runs past the field's end are kept as they are.
std::string Without(const char* extra, std::uint32_t extraSize);

/// True when the extra field holds a 0x0001 block.
bool Has(const char* extra, std::uint32_t extraSize);

}  // namespace Zip64Field
