// ComponentSettings.cpp -- reading the administrator's registry values and the host's environment variables.
#include "scripting/ComponentSettings.h"

#include <cstdlib>

#include "hosting/RegistryReader.h"

namespace ComponentSettings {

namespace {
constexpr const char* kComponentKey = "SOFTWARE\\Brevik";
}  // namespace

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
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

std::optional<std::uint64_t> AdministratorNumber(const char* name) {
  const RegistryReader registry;
  std::string text;
  if (registry.ReadNumberValue(RegistryRoot::LocalMachine, kComponentKey, name, text) ||
      registry.ReadStringValue(RegistryRoot::LocalMachine, kComponentKey, name, text))
    return ParseNumber(text);
  return std::nullopt;
}

std::optional<std::uint64_t> HostNumber(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::nullopt : ParseNumber(value);
}

}  // namespace ComponentSettings
