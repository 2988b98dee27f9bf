// ZipCrc32.h -- ZipCrc32, the CRC-32 of entry data, folded with carry-less multiplication where the CPU has it.
#pragma once

#include <cstddef>
#include <cstdint>

/// The CRC-32 (polynomial 0x04C11DB7, reflected, as in every ZIP record) of `length` bytes at
/// `data`, continuing from `crc`: the contract of zlib's `crc32`, so 0 starts a new value and
/// the result of one call continues into the next. Buffers of 64 bytes or more are folded 64
/// bytes at a time with PCLMULQDQ when the processor has it (some 20 GB/s instead of zlib's 3-4,
/// which was a tenth of extracting a text file); the rest, and every byte on other processors,
/// goes through zlib.
std::uint32_t ZipCrc32(std::uint32_t crc, const void* data, std::size_t length);
