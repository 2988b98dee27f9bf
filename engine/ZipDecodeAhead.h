// ZipDecodeAhead.h -- encrypted entries read a window at a time and decoded side by side.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/ZipAutoBuffer.h"

class CZipAbstractFile;
class CZipCentralDir;

/// Decoding the traditional cipher is one chain of dependent steps per entry, about 100 MB/s on
/// its own, while the chains of different entries are independent (`CZipCrypto::DecodeSeveral`).
/// When entries are read in their order, this window takes the archive bytes from the entry
/// being opened onwards, up to `WindowBytes`, and decodes every encrypted entry lying wholly
/// inside it in one pass; the following entries are then served from memory.
///
/// Only sound while the archive's bytes cannot change (an archive opened read only) and for one
/// password: the owner clears the window when either may have changed. An entry is served only
/// when its index and the file position of its encryption header are the ones recorded, so a
/// caller that reads out of order gets misses, never wrong bytes.
class CZipDecodeAhead {
public:
  /// Archive bytes read and decoded at once. Larger entries are read the ordinary way.
  static constexpr std::uint32_t WindowBytes = 1u << 20;

  /// Archive bytes in the window after an entry's data, as read.
  struct Following {
    const char* bytes = nullptr;
    std::uint32_t count = 0;
  };

  /// An entry in the window: its 12 decrypted header bytes followed by its data, decrypted
  /// only when `dataDecoded` (its header passed the check made with `flags`).
  struct Decoded {
    char* header = nullptr;
    std::uint32_t length = 0;  ///< header and data
    Following following;
    std::uint16_t flags = 0;   ///< the flags in effect it was decoded with (`FlagsInEffect`)
    bool dataDecoded = false;
  };

  /// Entry `index`, whose encryption header begins at file position `position`, when the window
  /// holds it decoded; else a `Decoded` with a null header.
  Decoded Find(int index, std::uint64_t position);

  /// Drops what the window holds, then reads it from `position`, the encryption header of entry
  /// `first` of `directory` (whose header holds the flags in effect: its local header has been
  /// read), and decodes with `password` entry `first` and every later encrypted entry (in index
  /// order, each further on in the file than the one before) that lies wholly inside it. A later
  /// entry is judged by the flags in effect from its local header in the window, as its open
  /// will judge it. Reads nothing when entry `first` alone is larger than the window. Leaves
  /// `file` at an unspecified position; file errors propagate.
  void Fill(CZipAbstractFile& file, const CZipCentralDir& directory, int first, std::uint64_t position,
            std::string_view password);

  /// Forgets the decoded entries; the window's memory is kept for the next fill.
  void Clear() { slots_.clear(); }
  /// Forgets them and frees the memory.
  void Release();

private:
  struct Slot {
    int index;
    std::uint64_t position;  ///< file position of the encryption header
    std::uint32_t offset;    ///< where it lies in the window
    std::uint32_t length;    ///< compressed size: header and data
    std::uint16_t flags;     ///< the flags in effect
    bool dataDecoded;        ///< the header passed its check and the data was decrypted
  };
  /// Adds the entries after `first` that lie wholly in the `got` bytes read from `position`.
  void CollectFollowing(const CZipCentralDir& directory, int first, std::uint64_t position, std::uint32_t got);

  CZipAutoBuffer window_;
  std::uint32_t filled_ = 0;  ///< bytes of the window read by the last fill
  std::vector<Slot> slots_;   ///< in index order
};
