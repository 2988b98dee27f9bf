// ZipCrc32.h -- ZipCrc32, the CRC-32 of entry data, through libdeflate.
#pragma once

#include <cstddef>
#include <cstdint>

/// The CRC-32 (polynomial 0x04C11DB7, reflected, as in every ZIP record) of `length` bytes at
/// `data`, continuing from `crc`: the contract of zlib's `crc32`, so 0 starts a new value and
/// the result of one call continues into the next. The one place the engine computes it:
/// libdeflate's `libdeflate_crc32` folds with the processor's carry-less multiplication where it
/// has it (some 2.5 times zlib's speed), with a table method elsewhere.
std::uint32_t ZipCrc32(std::uint32_t crc, const void* data, std::size_t length);
