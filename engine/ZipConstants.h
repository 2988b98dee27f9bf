// ZipConstants.h -- signatures, record sizes, field offsets and flag bits of the ZIP records.
#pragma once

#include <cstdint>

/// Every number of the ZIP format that the engine's record code needs, named after the field of the
/// ZIP application note it stands for. Record code never uses a bare offset or size.
namespace ZipFormat {

// Record signatures, as 32-bit little-endian values ("PK" followed by two bytes).
inline constexpr std::uint32_t LocalHeaderSignature = 0x04034B50;     ///< "PK\3\4"
inline constexpr std::uint32_t CentralHeaderSignature = 0x02014B50;   ///< "PK\1\2"
inline constexpr std::uint32_t DataDescriptorSignature = 0x08074B50;  ///< "PK\7\10"
/// The first four bytes of a new split archive; the same value as the data descriptor's.
inline constexpr std::uint32_t SpanSignature = 0x08074B50;
inline constexpr std::uint32_t EndRecordSignature = 0x06054B50;       ///< "PK\5\6"
inline constexpr std::uint32_t Zip64EndRecordSignature = 0x06064B50;  ///< "PK\6\6"
inline constexpr std::uint32_t Zip64LocatorSignature = 0x07064B50;    ///< "PK\6\7"
inline constexpr std::uint32_t SignatureSize = 4;

/// General-purpose bit flag.
namespace Flag {
inline constexpr std::uint16_t Encrypted = 0x0001;       ///< bit 0: traditional encryption
inline constexpr std::uint16_t LevelClassMask = 0x0006;  ///< bits 1-2: deflate option class
inline constexpr std::uint16_t LevelClassFastest = 0x0006;  ///< level 1 ("super fast")
inline constexpr std::uint16_t LevelClassFast = 0x0004;     ///< level 2
inline constexpr std::uint16_t LevelClassMaximum = 0x0002;  ///< levels 8 and 9
/// Bit 1 of an LZMA entry (APPNOTE 4.4.4): its data ends with an end-of-stream marker.
inline constexpr std::uint16_t LzmaEndMarker = 0x0002;
inline constexpr std::uint16_t DataDescriptor = 0x0008;  ///< bit 3: CRC and sizes follow the data
/// Low four bits: the ones a local header may override in the central record when they differ.
inline constexpr std::uint16_t LocalOverrideMask = 0x000F;
inline constexpr std::uint16_t Utf8Name = 0x0800;  ///< bit 11: name and comment are UTF-8
}  // namespace Flag

/// Compression method.
namespace Method {
inline constexpr std::uint16_t Stored = 0;
inline constexpr std::uint16_t Deflated = 8;
inline constexpr std::uint16_t Bzip2 = 12;
inline constexpr std::uint16_t Lzma = 14;  ///< after a 4-byte ZIP LZMA header and 5 property bytes
inline constexpr std::uint16_t Zstd = 93;
inline constexpr std::uint16_t Xz = 95;
}  // namespace Method

/// The header before LZMA data in an entry (APPNOTE 5.8.8): the LZMA SDK version that wrote it,
/// the size of the properties, then the properties (lc/lp/pb byte and 4-byte dictionary size).
namespace LzmaHeader {
inline constexpr std::uint32_t Version = 0;         ///< 2 bytes: major, minor
inline constexpr std::uint32_t PropertiesSize = 2;  ///< 2 bytes, always 5
inline constexpr std::uint32_t Properties = 4;
inline constexpr std::uint32_t PropertiesBytes = 5;
inline constexpr std::uint32_t Size = 9;
}  // namespace LzmaHeader

/// Version fields: the low byte is the application note version times ten.
namespace Version {
inline constexpr std::uint16_t MadeBy = 20;           ///< low byte of version made by, new entries
inline constexpr std::uint16_t NeededDefault = 20;    ///< deflate or encryption
inline constexpr std::uint16_t NeededDirectory = 10;  ///< a directory entry
inline constexpr std::uint16_t NeededZip64 = 45;      ///< an entry with a ZIP64 extra field (4.4.3.2)
}  // namespace Version

/// Host-system codes (high byte of version made by).
namespace HostSystem {
inline constexpr int Dos = 0;
inline constexpr int Unix = 3;
inline constexpr int Os2Hpfs = 6;
inline constexpr int Ntfs = 10;
inline constexpr int Vfat = 11;
}  // namespace HostSystem

/// Central directory file header: 46 fixed bytes, then name, extra field and comment.
namespace CentralHeader {
inline constexpr std::uint32_t Signature = 0;
inline constexpr std::uint32_t VersionMadeBy = 4;
inline constexpr std::uint32_t VersionNeeded = 6;
inline constexpr std::uint32_t Flags = 8;
inline constexpr std::uint32_t Method = 10;
inline constexpr std::uint32_t ModTime = 12;
inline constexpr std::uint32_t ModDate = 14;
inline constexpr std::uint32_t Crc = 16;
inline constexpr std::uint32_t CompressedSize = 20;
inline constexpr std::uint32_t UncompressedSize = 24;
inline constexpr std::uint32_t NameLength = 28;
inline constexpr std::uint32_t ExtraLength = 30;
inline constexpr std::uint32_t CommentLength = 32;
inline constexpr std::uint32_t DiskStart = 34;
inline constexpr std::uint32_t InternalAttributes = 36;
inline constexpr std::uint32_t ExternalAttributes = 38;
inline constexpr std::uint32_t LocalHeaderOffset = 42;
inline constexpr std::uint32_t Size = 46;
}  // namespace CentralHeader

/// Local file header: 30 fixed bytes, then name and extra field.
namespace LocalHeader {
inline constexpr std::uint32_t Signature = 0;
inline constexpr std::uint32_t VersionNeeded = 4;
inline constexpr std::uint32_t Flags = 6;
inline constexpr std::uint32_t Method = 8;
inline constexpr std::uint32_t ModTime = 10;
inline constexpr std::uint32_t ModDate = 12;
inline constexpr std::uint32_t Crc = 14;  ///< CRC-32, then compressed and uncompressed size
inline constexpr std::uint32_t CompressedSize = 18;
inline constexpr std::uint32_t UncompressedSize = 22;
inline constexpr std::uint32_t NameLength = 26;
inline constexpr std::uint32_t ExtraLength = 28;
inline constexpr std::uint32_t Size = 30;
}  // namespace LocalHeader

/// Data descriptor without its optional signature: CRC-32, compressed size, uncompressed size.
namespace DataDescriptor {
inline constexpr std::uint32_t Crc = 0;
inline constexpr std::uint32_t CompressedSize = 4;
inline constexpr std::uint32_t UncompressedSize = 8;
inline constexpr std::uint32_t Size = 12;
/// ZIP64 form (after an entry whose local header carries a ZIP64 extra field): 8-byte sizes.
inline constexpr std::uint32_t Zip64CompressedSize = 4;
inline constexpr std::uint32_t Zip64UncompressedSize = 12;
inline constexpr std::uint32_t Zip64Size = 20;
/// A signed descriptor as this engine writes it: signature plus the 12 bytes.
inline constexpr std::uint32_t SignedSize = SignatureSize + Size;
}  // namespace DataDescriptor

/// End of central directory record: 22 fixed bytes, then the archive comment.
namespace EndRecord {
inline constexpr std::uint32_t Signature = 0;
inline constexpr std::uint32_t ThisVolume = 4;
inline constexpr std::uint32_t StartVolume = 6;
inline constexpr std::uint32_t HeadersOnVolume = 8;
inline constexpr std::uint32_t HeadersTotal = 10;
inline constexpr std::uint32_t DirectorySize = 12;
inline constexpr std::uint32_t DirectoryOffset = 16;
inline constexpr std::uint32_t CommentLength = 20;
inline constexpr std::uint32_t Size = 22;
inline constexpr std::uint32_t MaxCommentLength = 65535;
/// The record with the longest comment: the end record must start within this many final bytes.
inline constexpr std::uint32_t SearchWindow = Size + MaxCommentLength;
/// Marker values meaning "look in the ZIP64 end record".
inline constexpr std::uint16_t Zip64Marker16 = 0xFFFF;
inline constexpr std::uint32_t Zip64Marker32 = 0xFFFFFFFF;
}  // namespace EndRecord

/// ZIP64 end of central directory locator, 20 bytes, just before the end record.
namespace Zip64Locator {
inline constexpr std::uint32_t Signature = 0;
inline constexpr std::uint32_t RecordVolume = 4;  ///< 4 bytes
inline constexpr std::uint32_t RecordOffset = 8;  ///< 8 bytes, relative to the archive's start
inline constexpr std::uint32_t TotalVolumes = 16;  ///< 4 bytes
inline constexpr std::uint32_t Size = 20;
}  // namespace Zip64Locator

/// ZIP64 end of central directory record: 56 fixed bytes, then extensible data.
namespace Zip64EndRecord {
inline constexpr std::uint32_t Signature = 0;
inline constexpr std::uint32_t RecordSize = 4;  ///< 8 bytes: size of the record after this field
inline constexpr std::uint32_t LeadingSize = 12;  ///< signature plus the record-size field
inline constexpr std::uint32_t VersionMadeBy = 12;
inline constexpr std::uint32_t VersionNeeded = 14;
inline constexpr std::uint32_t ThisVolume = 16;        ///< 4 bytes
inline constexpr std::uint32_t StartVolume = 20;       ///< 4 bytes
inline constexpr std::uint32_t HeadersOnVolume = 24;   ///< 8 bytes
inline constexpr std::uint32_t HeadersTotal = 32;      ///< 8 bytes
inline constexpr std::uint32_t DirectorySize = 40;     ///< 8 bytes
inline constexpr std::uint32_t DirectoryOffset = 48;   ///< 8 bytes
inline constexpr std::uint32_t Size = 56;
}  // namespace Zip64EndRecord

/// Extra field blocks: a 2-byte header id and a 2-byte data size before each block's data.
namespace ExtraField {
inline constexpr std::uint32_t HeaderId = 0;
inline constexpr std::uint32_t DataSize = 2;
inline constexpr std::uint32_t BlockHeaderSize = 4;
inline constexpr std::uint16_t Zip64Id = 0x0001;
/// Data of the ZIP64 block of a local header: both sizes, 8 bytes each (4.5.3).
inline constexpr std::uint16_t Zip64LocalDataSize = 16;
}  // namespace ExtraField

/// Traditional PKWARE encryption.
namespace Encryption {
inline constexpr std::uint32_t HeaderSize = 12;  ///< prefixed to the entry data
inline constexpr std::uint32_t RandomBytes = 10;  ///< header bytes 0-9; 10 and 11 carry the check
inline constexpr std::uint32_t Key0 = 0x12345678;
inline constexpr std::uint32_t Key1 = 0x23456789;
inline constexpr std::uint32_t Key2 = 0x34567890;
inline constexpr std::uint32_t Key1Multiplier = 134775813;
}  // namespace Encryption

/// Limits of the format without its 64-bit extensions.
inline constexpr std::uint32_t MaxVariableLength = 0xFFFF;  ///< name, extra field or comment
inline constexpr std::uint32_t MaxEntries = 0xFFFF;

/// Split archives: volumes named .z01 ... .z99 and, when read, .z100 onwards.
inline constexpr int MaxSplitVolumes = 99;

}  // namespace ZipFormat
