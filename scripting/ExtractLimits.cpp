// ExtractLimits.cpp -- reading the extraction limits and judging each entry against them.
#include "scripting/ExtractLimits.h"

#include <algorithm>
#include <cstdlib>

#include "hosting/RegistryReader.h"
#include "scripting/NotExtractedReason.h"

namespace {

constexpr const char* kLimitsKey = "SOFTWARE\\Brevik";

/// The registry value `name` under HKEY_LOCAL_MACHINE\SOFTWARE\Brevik: a dword, or a text.
std::optional<std::uint64_t> RegistryLimit(const char* name) {
  const RegistryReader registry;
  std::string text;
  if (registry.ReadNumberValue(RegistryRoot::LocalMachine, kLimitsKey, name, text) ||
      registry.ReadStringValue(RegistryRoot::LocalMachine, kLimitsKey, name, text))
    return ExtractLimits::ParseValue(text);
  return std::nullopt;
}

std::optional<std::uint64_t> EnvironmentLimit(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::nullopt : ExtractLimits::ParseValue(value);
}

}  // namespace

std::optional<std::uint64_t> ExtractLimits::ParseValue(const std::string& text) {
  std::size_t position = 0;
  std::uint64_t value = 0;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[position] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    ++position;
  }
  if (position == 0) return std::nullopt;
  if (position + 1 == text.size()) {
    static const std::string units = "KMGT";
    const std::size_t unit = units.find(static_cast<char>(text[position] & ~0x20));
    if (unit == std::string::npos) return std::nullopt;
    const unsigned shift = 10 * static_cast<unsigned>(unit + 1);
    if (value > (UINT64_MAX >> shift)) return std::nullopt;
    value <<= shift;
  } else if (position != text.size()) {
    return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return value;
}

void ExtractLimits::Tighten(std::optional<std::uint64_t> bytes, std::optional<std::uint64_t> ratio) {
  if (bytes) maxBytes = std::min(maxBytes, *bytes);
  if (ratio) {
    maxRatio = std::min(maxRatio, *ratio);
    ratioSet = true;
  }
}

ExtractLimits ExtractLimits::Current() {
  ExtractLimits limits;
  limits.Tighten(RegistryLimit("MaxExtractBytes"), RegistryLimit("MaxCompressionRatio"));
  limits.Tighten(EnvironmentLimit("BREVIK_MAX_EXTRACT_BYTES"), EnvironmentLimit("BREVIK_MAX_RATIO"));
  return limits;
}

std::string ExtractBudget::Admit(std::uint32_t uncompressedBytes, std::uint32_t compressedBytes, std::uint16_t method) {
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
