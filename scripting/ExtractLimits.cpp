// ExtractLimits.cpp -- reading the extraction limits and judging each entry against them.
#include "scripting/ExtractLimits.h"

#include <algorithm>

#include "scripting/ComponentSettings.h"
#include "scripting/NotExtractedReason.h"

void ExtractLimits::Tighten(std::optional<std::uint64_t> bytes, std::optional<std::uint64_t> ratio) {
  if (bytes) maxBytes = std::min(maxBytes, *bytes);
  if (ratio) {
    maxRatio = std::min(maxRatio, *ratio);
    ratioSet = true;
  }
}

ExtractLimits ExtractLimits::Current() {
  ExtractLimits limits;
  using namespace ComponentSettings;
  limits.Tighten(AdministratorNumber("MaxExtractBytes"), AdministratorNumber("MaxCompressionRatio"));
  limits.Tighten(HostNumber("BREVIK_MAX_EXTRACT_BYTES"), HostNumber("BREVIK_MAX_RATIO"));
  return limits;
}

std::string ExtractBudget::Admit(std::uint64_t uncompressedBytes, std::uint64_t compressedBytes, std::uint16_t method) {
  // Stored (0) and deflated (8) data: the methods the default ratio was chosen for.
  const bool ratioApplies = limits_.ratioSet || method == 0 || method == 8;
  if (ratioApplies && uncompressedBytes >= ExtractLimits::RatioFloorBytes) {
    // Whole times, rounded up: an entry is refused only when it truly passes the limit.
    const std::uint64_t packed = std::max<std::uint64_t>(compressedBytes, 1);
    const std::uint64_t ratio = (uncompressedBytes + packed - 1) / packed;
    if (ratio > limits_.maxRatio) return NotExtractedReason::OverRatioLimit(ratio, limits_.maxRatio);
  }
  if (uncompressedBytes > limits_.maxBytes - admittedBytes_) return NotExtractedReason::OverByteLimit(limits_.maxBytes);
  admittedBytes_ += uncompressedBytes;
  return std::string();
}
