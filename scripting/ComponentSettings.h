// ComponentSettings.h -- the component's own settings: an administrator's registry values and a host's environment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// Numbers that tune the component outside any script: an administrator sets them as values
/// under HKEY_LOCAL_MACHINE\SOFTWARE\Brevik (a dword, or a text), a host as environment
/// variables of its process. Both are read at each call, so a change applies from the next call.
namespace ComponentSettings {

/// The number `text` gives: decimal digits, optionally ending in K, M, G or T (binary multiples,
/// any case). None for anything else, for an overflow, and for 0 (which sets nothing).
std::optional<std::uint64_t> ParseNumber(const std::string& text);

/// The registry value `name` under HKEY_LOCAL_MACHINE\SOFTWARE\Brevik, as `ParseNumber` reads it.
std::optional<std::uint64_t> AdministratorNumber(const char* name);

/// The environment variable `name`, as `ParseNumber` reads it.
std::optional<std::uint64_t> HostNumber(const char* name);

}  // namespace ComponentSettings
