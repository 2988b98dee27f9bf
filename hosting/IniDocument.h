// IniDocument.h -- an INI file parsed into its sections and their lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The content of one INI file as the profile functions see it. Lines end in LF or CRLF; a UTF-8
/// byte order mark at the start is ignored; every line is trimmed of white space; empty lines and
/// lines starting with ";" are comments and dropped; "[name]" starts a section (the name trimmed;
/// a missing "]" takes the rest of the line); lines before the first section belong to none and
/// are dropped. Section and key names are matched without regard to case; the first matching
/// section and the first matching key win.
class IniDocument {
public:
  /// One section: its name as spelled and its lines in file order (trimmed, comments dropped).
  struct Section {
    std::string name;
    std::vector<std::string> lines;

    /// The value of the first line whose key (the text before its first "=", trimmed) equals
    /// `key` without regard to case: the text after the "=", trimmed, and without one pair of
    /// matching quotes ('"' or "'") wrapping it, stored in `value`. False (and `value` left as
    /// it was) when no line has that key; lines without "=" have no key.
    bool FindValue(const std::string& key, std::string& value) const;
  };

  /// Parses INI text. Never fails: anything that is not a section line is a line of the section.
  static IniDocument Parse(std::string_view text);

  /// Reads and parses the file at `filePath`. A file that is missing or cannot be read is an
  /// empty document, as the profile functions treat it.
  static IniDocument Load(const std::string& filePath);

  /// The first section called `name` (without regard to case), or null.
  const Section* FindSection(const std::string& name) const;

  /// Every section in file order, duplicates included.
  const std::vector<Section>& sections() const { return sections_; }

private:
  std::vector<Section> sections_;
};
