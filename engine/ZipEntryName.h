// ZipEntryName.h -- the code-page rules between an entry name's archive bytes and its host form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Conversions used by `CZipFileHeader::ConvertName`. The host form of a name is UTF-8.
namespace ZipEntryName {

/// True for the host systems whose names are in the OEM code page and use "\" as separator:
/// MS-DOS/FAT (0), OS/2 HPFS (6), NTFS (10) and VFAT (11).
bool IsDosFamily(int hostSystem);

/// True when every byte is below 0x80.
bool IsAscii(std::string_view bytes);

/// The length of the well-formed UTF-8 sequence at the start of `rest` (shortest form, no
/// surrogates, at most U+10FFFF), with its code point in `code`; 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view rest, std::uint32_t& code);

/// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

/// CP437 bytes to UTF-8. Every CP437 byte has a character, so this never fails.
std::string Cp437ToUtf8(std::string_view bytes);

/// UTF-8 to CP437; empty when the text is not valid UTF-8 or holds a character CP437 lacks.
std::optional<std::string> Utf8ToCp437(std::string_view text);

}  // namespace ZipEntryName
