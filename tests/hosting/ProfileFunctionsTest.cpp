// ProfileFunctionsTest.cpp -- the INI file rules and the truncation results of the profile reads.
#include "hosting/ProfileFunctions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;

namespace {

/// The section read as (returned count, the bytes up to that count plus the final zero).
std::pair<uint32_t, std::string> Section(const std::string& section, const std::string& file,
                                         uint32_t size) {
  std::vector<char> buffer(size + 1, 'X');
  uint32_t count = GetPrivateProfileSectionA(section.c_str(), buffer.data(), size, file.c_str());
  EXPECT_EQ('X', buffer[size]) << "wrote past the buffer";
  return {count, std::string(buffer.data(), size == 0 ? 0 : count + 1)};
}

std::string Value(const std::string& section, const std::string& key, const std::string& file,
                  const char* defaultText = "") {
  char buffer[256];
  uint32_t count = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultText, buffer,
                                            sizeof buffer, file.c_str());
  EXPECT_EQ(std::string(buffer).size(), count);
  return std::string(buffer, count);
}

}  // namespace

TEST(ProfileFunctions, FileRulesForSectionsKeysCommentsQuotesAndLineEnds) {
  ScratchDir dir;
  const std::string file = dir / "rules.ini";
  WriteFileBytes(file,
                 "\xEF\xBB\xBF"  // byte order mark before the first section
                 "orphan=before any section\r\n"
                 "[Settings]\r\n"
                 "; Installed=commented out\r\n"
                 "  Installed = Brevik, Other  \r\n"
                 "installed=second key of the same name\r\n"
                 "Quoted=\"  kept spaces  \"\r\n"
                 "Single='x'\r\n"
                 "Unbalanced=\"x'\r\n"
                 "Lone=\"\r\n"
                 "bare line\r\n"
                 "\r\n"
                 "[ settings ]\n"
                 "Applied=from the second section of that name\n"
                 "[Other]\n"
                 "Key=v=w\n");
  EXPECT_EQ("Brevik, Other", Value("SETTINGS", "INSTALLED", file));
  EXPECT_EQ("  kept spaces  ", Value("Settings", "Quoted", file));
  EXPECT_EQ("x", Value("Settings", "Single", file));
  EXPECT_EQ("\"x'", Value("Settings", "Unbalanced", file));
  EXPECT_EQ("\"", Value("Settings", "Lone", file));
  EXPECT_EQ("v=w", Value("other", "key", file));
  // Only the first section of a name is read, and lines before any section belong to none.
  EXPECT_EQ("dflt", Value("Settings", "Applied", file, "dflt"));
  EXPECT_EQ("dflt", Value("", "orphan", file, "dflt"));
  EXPECT_EQ("", Value("Settings", "bare line", file));
  // The argument is not trimmed: "Installed " is another key.
  EXPECT_EQ("", Value("Settings", "Installed ", file));

  auto [count, bytes] = Section("settings", file, 256);
  const std::string expected = std::string("Installed = Brevik, Other\0", 26) +
                               std::string("installed=second key of the same name\0", 38) +
                               std::string("Quoted=\"  kept spaces  \"\0", 25) +
                               std::string("Single='x'\0", 11) +
                               std::string("Unbalanced=\"x'\0", 15) +
                               std::string("Lone=\"\0", 7) + std::string("bare line\0", 10);
  EXPECT_EQ(expected.size(), count);
  EXPECT_EQ(expected + '\0', bytes);
}

TEST(ProfileFunctions, MissingFileOrSectionReadsAsEmpty) {
  ScratchDir dir;
  const std::string file = dir / "present.ini";
  WriteFileBytes(file, "[Empty]\n; only a comment\n[Full]\na=1\n");
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string(1, '\0')}),
            Section("Empty", file, 16));
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string(1, '\0')}),
            Section("Absent", file, 16));
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string(1, '\0')}),
            Section("Full", dir / "missing.ini", 16));
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string(1, '\0')}), Section("Full", dir.path(), 16));
  EXPECT_EQ("fallback", Value("Full", "a", dir / "missing.ini", "fallback"));
  char buffer[4] = {'X', 'X', 'X', 'X'};
  EXPECT_EQ(0u, GetPrivateProfileStringA("Full", "b", nullptr, buffer, 4, file.c_str()));
  EXPECT_EQ('\0', buffer[0]);
}

TEST(ProfileFunctions, CutSectionsAnswerSizeMinusTwo) {
  ScratchDir dir;
  const std::string file = dir / "cut.ini";
  WriteFileBytes(file, "[S]\nab=1\ncd=2\n");  // needs "ab=1\0cd=2\0\0": 11 bytes
  EXPECT_EQ((std::pair<uint32_t, std::string>{10, std::string("ab=1\0cd=2\0\0", 11)}),
            Section("S", file, 11));
  // One byte short of the closing zero: cut, and the buffer ends in two zero bytes.
  EXPECT_EQ((std::pair<uint32_t, std::string>{8, std::string("ab=1\0cd=\0", 9)}),
            Section("S", file, 10));
  EXPECT_EQ((std::pair<uint32_t, std::string>{5, std::string("ab=1\0\0", 6)}),
            Section("S", file, 7));
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string("\0", 1)}), Section("S", file, 2));
  EXPECT_EQ((std::pair<uint32_t, std::string>{0, std::string("\0", 1)}), Section("S", file, 1));
  EXPECT_EQ(0u, Section("S", file, 0).first);
}

TEST(ProfileFunctions, CutStringsAnswerSizeMinusOne) {
  ScratchDir dir;
  const std::string file = dir / "cut.ini";
  WriteFileBytes(file, "[S]\nk=abcdef\n");
  char buffer[8];
  EXPECT_EQ(6u, GetPrivateProfileStringA("S", "k", "", buffer, 8, file.c_str()));
  EXPECT_EQ("abcdef", std::string(buffer));
  // Exactly filling the buffer and being cut give the same answer: size - 1.
  EXPECT_EQ(6u, GetPrivateProfileStringA("S", "k", "", buffer, 7, file.c_str()));
  EXPECT_EQ("abcdef", std::string(buffer));
  EXPECT_EQ(3u, GetPrivateProfileStringA("S", "k", "", buffer, 4, file.c_str()));
  EXPECT_EQ("abc", std::string(buffer));
  EXPECT_EQ(3u, GetPrivateProfileStringA("S", "missing", "defaults", buffer, 4, file.c_str()));
  EXPECT_EQ("def", std::string(buffer));
  buffer[0] = 'X';
  EXPECT_EQ(0u, GetPrivateProfileStringA("S", "k", "", buffer, 0, file.c_str()));
  EXPECT_EQ('X', buffer[0]);
}

TEST(ProfileFunctions, NullNamesListKeysAndSections) {
  ScratchDir dir;
  const std::string file = dir / "names.ini";
  WriteFileBytes(file, "[One]\nalpha = 1\nno equals\nbeta=2\n[Two]\n");
  char buffer[32];
  uint32_t count = GetPrivateProfileStringA("one", nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(std::string("alpha\0beta\0\0", 12), std::string(buffer, count + 1));
  count = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(std::string("One\0Two\0\0", 9), std::string(buffer, count + 1));
  EXPECT_EQ(4u, GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 6, file.c_str()));
  EXPECT_EQ(std::string("One\0\0\0", 6), std::string(buffer, 6));
}
