// NotExtractedReason.h -- why an entry was not extracted: every such text, in one place.
#pragma once

#include <cstdint>
#include <string>

class CZipException;
class CZipFileException;

/// The reasons an extraction gives for an entry it did not write, each a phrase that follows
/// "not extracted: NAME: " (lower case, no full stop). The listing keeps the one of each entry.
namespace NotExtractedReason {

/// For an exception of the engine while the entry was extracted (a link in the way, a link that
/// leads outside, a CRC mismatch, damaged data, ...).
std::string ForEngineError(const CZipException& error);
/// For a file system error of the entry's target: the system's text and the path.
std::string ForFileError(const CZipFileException& error);
/// For a "no" of the engine, given its refusal code (`CZipArchive::GetExtractRefusal`; with 0
/// the file was written but its time or attributes could not be set).
std::string ForRefusal(int refusalCode);
/// For any other failure.
std::string ForOtherError();
/// An entry whose declared size would take the bytes written in this call past `limitBytes`.
std::string OverByteLimit(std::uint64_t limitBytes);
/// For any other failure.
std::string ForOtherError();
/// An entry whose declared sizes give a ratio over `limitRatio`.
std::string OverRatioLimit(std::uint64_t ratio, std::uint64_t limitRatio);

}  // namespace NotExtractedReason
