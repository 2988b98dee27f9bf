// SettingsGetter.cpp -- INI values, the [Path] line of a page, and registry values by full path.
#include "hosting/SettingsGetter.h"

#include "hosting/Helpers.h"
#include "hosting/IniFileReader.h"
#include "hosting/PathInFolder.h"
#include "hosting/RegistryReader.h"
#include "hosting/TextList.h"

std::string SettingsGetter::GetIniString(const std::string& section, const std::string& key,
                                         const std::string& file) const {
  return IniFileReader().ReadString(section, key, file);
}

std::string SettingsGetter::FindEntryByPathPrefix(const std::string& section,
                                                  const std::string& path,
                                                  const std::string& file) const {
  TextList lines;
  IniFileReader().ReadSection(section, file, lines);
  for (const std::string& line : lines) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    // The first line that holds the page wins, not the longest: administrators order the lines.
    if (PathIsInFolder(path, TrimmedCopy(line.substr(equals + 1)))) return line;
  }
  return std::string();
}

bool SettingsGetter::GetRegistryValue(const std::string& fullKeyPath, int kind,
                                      const std::string& valueName, std::string& text) const {
  std::string rootName, subKey;
  size_t separator = fullKeyPath.find('\\');
  if (separator != std::string::npos) {
    rootName = fullKeyPath.substr(0, separator);
    subKey = fullKeyPath.substr(separator + 1);
  }
  RegistryReader reader;
  RegistryRoot root = RegistryReader::RootKeyFromName(rootName);
  if (kind == kNumberValue) return reader.ReadNumberValue(root, subKey, valueName, text);
  return reader.ReadStringValue(root, subKey, valueName, text);
}
