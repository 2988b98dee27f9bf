// RegistryStoreTextTest.cpp -- the REGEDIT4 text: what it reads, what it writes, what it refuses.
#include "hosting/RegistryTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

const RegistryValue* Find(const RegistryTree& tree, const std::string& key, const std::string& name) {
  const RegistryKey* found = tree.FindKey(key);
  return found == nullptr ? nullptr : found->FindValue(name);
}

RegistryResult ParseText(const std::string& text, RegistryTree& tree) {
  return RegistryTree::Parse(text, "test.reg", tree);
}

}  // namespace

TEST(RegistryStoreText, ReadsEveryValueFormAndLineEnd) {
  // CRLF and LF lines, comments, blank lines, a byte order mark, every value form.
  const std::string text =
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "\r\n"
      "; a comment line\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly]\r\n"
      "@=\"the default\"\n"
      "\"InstallationPath\" = \"/opt/tessaly\"\n"
      "\"EnableSecurityBox\"=dword:00000001\n"
      "\"Short\"=dword:ff\n"
      "\"Quoted\"=\"say \\\"hi\\\" in C:\\\\Sites\\\\A\"\n"
      "\"Lines\"=\"one\\ntwo\\r\"\n"
      "\"Binary\"=hex:00,ff,\\\n"
      "  10\n"
      "\"Expand\"=hex(2):2f,00\n"
      "\"AsNumber\"=hex(4):01,02,00,00\n"
      "[hkey_classes_root\\Brevik.ZIP\\Empty]\n";
  RegistryTree tree;
  const RegistryResult result = ParseText(text, tree);
  ASSERT_TRUE(result.ok()) << result.detail;
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly";

  ASSERT_NE(nullptr, Find(tree, key, ""));
  EXPECT_EQ("the default", Find(tree, key, "")->text);
  EXPECT_EQ("/opt/tessaly", Find(tree, key, "InstallationPath")->text);
  EXPECT_EQ(kRegDword, Find(tree, key, "EnableSecurityBox")->type);
  EXPECT_EQ(1u, Find(tree, key, "EnableSecurityBox")->number);
  EXPECT_EQ(255u, Find(tree, key, "Short")->number);
  EXPECT_EQ("say \"hi\" in C:\\Sites\\A", Find(tree, key, "Quoted")->text);
  EXPECT_EQ("one\ntwo\r", Find(tree, key, "Lines")->text);
  EXPECT_EQ(kRegBinary, Find(tree, key, "Binary")->type);
  EXPECT_EQ(std::string("\x00\xff\x10", 3), Find(tree, key, "Binary")->bytes);
  EXPECT_EQ(kRegExpandSz, Find(tree, key, "Expand")->type);
  EXPECT_EQ(2u, Find(tree, key, "Expand")->DataSize());
  EXPECT_EQ(kRegDword, Find(tree, key, "AsNumber")->type);
  EXPECT_EQ(0x201u, Find(tree, key, "AsNumber")->number);
  // Keys and values are found whatever the case; the root keeps its own spelling.
  EXPECT_NE(nullptr, Find(tree, "hkey_local_machine\\software\\HALDEN WORKS\\tessaly", "installationpath"));
  ASSERT_NE(nullptr, tree.FindKey("HKEY_CLASSES_ROOT\\brevik.zip\\EMPTY"));
  EXPECT_NE(nullptr, tree.FindKey("HKEY_CLASSES_ROOT\\Brevik.ZIP"));
  EXPECT_EQ(nullptr, tree.FindKey("HKEY_CLASSES_ROOT\\Brevik.ZIP\\Missing"));
  EXPECT_EQ(nullptr, tree.FindKey("HKLM\\SOFTWARE"));
}

TEST(RegistryStoreText, CaseBlindNamesFoldBeyondAscii) {
  EXPECT_FALSE(RegistryNamesEqual("Straße", "STRASSE"));  // one code point folds to one
  EXPECT_TRUE(RegistryNamesEqual("Ölfeld Äpfel", "öLFELD äPFEL"));
  EXPECT_TRUE(RegistryNamesEqual("ΣΊΣΥΦΟΣ", "σίσυφοσ"));
  EXPECT_FALSE(RegistryNamesEqual("abc", "abcd"));
  // Bytes that are not UTF-8 match only themselves, and never a decoded character.
  EXPECT_TRUE(RegistryNamesEqual("a\xC3", "A\xC3"));
  EXPECT_FALSE(RegistryNamesEqual("\xC3", "\xE3"));
  EXPECT_FALSE(RegistryNamesEqual("\xC3\xA4", "\xC3"));
}

TEST(RegistryStoreText, WritesWhatItReadsBack) {
  RegistryTree tree;
  RegistryResult result;
  RegistryKey* key = tree.CreateKey("HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32", result);
  ASSERT_NE(nullptr, key) << result.detail;
  RegistryValue path;
  path.text = "/usr/lib/libbrevik.so";
  key->SetValue(path);
  RegistryValue model;
  model.name = "ThreadingModel";
  model.text = "Apartment";
  key->SetValue(model);
  ASSERT_NE(nullptr, tree.CreateKey("HKEY_CLASSES_ROOT\\CLSID\\{A}\\Programmable", result));
  RegistryValue tricky;
  tricky.name = "Name \"with\" \\ and\nbreak";
  tricky.text = std::string(100000, 'x') + "\"\\\r\n";  // values of any length
  key->SetValue(tricky);
  RegistryValue number;
  number.name = "Number";
  number.type = kRegDword;
  number.number = 0xDEADBEEF;
  key->SetValue(number);
  RegistryValue binary;
  binary.name = "Binary";
  binary.type = 7;
  binary.bytes = std::string("a\0b", 3);
  key->SetValue(binary);
  RegistryValue rootValue;
  rootValue.name = "AtRoot";
  tree.roots()[0]->SetValue(rootValue);  // HKEY_CLASSES_ROOT itself may hold values

  const std::string text = tree.Format();
  EXPECT_EQ(0u, text.find("REGEDIT4\n\n[HKEY_CLASSES_ROOT]\n\"AtRoot\"=\"\"\n\n"
                          "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n"
                          "@=\"/usr/lib/libbrevik.so\"\n\"ThreadingModel\"=\"Apartment\"\n"))
      << text.substr(0, 300);
  EXPECT_NE(std::string::npos, text.find("\"Number\"=dword:deadbeef\n\"Binary\"=hex(7):61,00,62\n"));
  EXPECT_NE(std::string::npos, text.find("[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Programmable]\n\n"));
  // Keys that only hold sub keys are implied by them and get no line of their own.
  EXPECT_EQ(std::string::npos, text.find("[HKEY_CLASSES_ROOT\\CLSID]"));

  RegistryTree again;
  result = ParseText(text, again);
  ASSERT_TRUE(result.ok()) << result.detail;
  EXPECT_EQ(text, again.Format());
  const std::string keyPath = "HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32";
  EXPECT_EQ(tricky.text, Find(again, keyPath, tricky.name)->text);
  EXPECT_NE(nullptr, again.FindKey("HKEY_CLASSES_ROOT\\CLSID\\{A}\\Programmable"));
}

TEST(RegistryStoreText, SetAndDeleteKeepFirstSpellingAndOrder) {
  RegistryKey key("Key");
  RegistryValue first;
  first.name = "Alpha";
  first.text = "1";
  key.SetValue(first);
  RegistryValue second;
  second.name = "Beta";
  key.SetValue(second);
  RegistryValue replacement;
  replacement.name = "ALPHA";
  replacement.type = kRegDword;
  replacement.number = 9;
  key.SetValue(replacement);
  ASSERT_EQ(2u, key.values().size());
  EXPECT_EQ("Alpha", key.values()[0].name);
  EXPECT_EQ(kRegDword, key.values()[0].type);
  EXPECT_EQ(9u, key.values()[0].number);
  EXPECT_TRUE(key.DeleteValue("alpha"));
  EXPECT_FALSE(key.DeleteValue("alpha"));
  EXPECT_EQ("Beta", key.values()[0].name);

  RegistryKey& sub = key.OpenOrCreateSubKey("Sub");
  sub.OpenOrCreateSubKey("Deeper");
  EXPECT_EQ(&sub, &key.OpenOrCreateSubKey("SUB"));
  EXPECT_TRUE(key.DeleteSubKey("sUb"));
  EXPECT_EQ(nullptr, key.FindSubKey("Sub"));
  EXPECT_FALSE(key.DeleteSubKey("Sub"));
}

TEST(RegistryStoreText, KeyPathsTheRegistryCannotHoldAreRefused) {
  RegistryTree tree;
  RegistryResult result;
  EXPECT_EQ(nullptr, tree.CreateKey("HKLM\\SOFTWARE", result));
  EXPECT_EQ(EINVAL, result.error);
  EXPECT_EQ("\"HKLM\" is not a root key of the registry", result.detail);
  EXPECT_EQ(nullptr, tree.CreateKey("HKEY_USERS\\a\\\\b", result));
  EXPECT_EQ("\"HKEY_USERS\\a\\\\b\" is not a key path: it is empty or has an empty component", result.detail);
  EXPECT_EQ(nullptr, tree.CreateKey("", result));
  EXPECT_EQ(EINVAL, result.error);
  EXPECT_EQ(nullptr, tree.CreateKey("HKEY_USERS\\line\nbreak", result));
  EXPECT_EQ("a key name cannot hold a line break or a zero byte", result.detail);

  result = tree.DeleteKey("HKEY_USERS");
  EXPECT_EQ(EINVAL, result.error);
  EXPECT_EQ("the root key \"HKEY_USERS\" cannot be deleted", result.detail);
  result = tree.DeleteKey("HKEY_USERS\\Nobody");
  EXPECT_EQ(ENOENT, result.error);
  EXPECT_EQ("the key \"HKEY_USERS\\Nobody\" does not exist", result.detail);
  result = tree.DeleteKey("Nothing");
  EXPECT_EQ(ENOENT, result.error);
}

TEST(RegistryStoreText, DamagedTextsSayWhereAndWhat) {
  struct Case {
    std::string text;
    std::string detail;
  };
  const Case cases[] = {
      {"REGEDIT5\n", "test.reg line 1: the file does not start with the line \"REGEDIT4\""},
      {"[HKEY_USERS\\A]\n", "test.reg line 1: the file does not start with the line \"REGEDIT4\""},
      {"REGEDIT4\n\"a\"=\"b\"\n", "test.reg line 2: a value line before any [key] line"},
      {"REGEDIT4\n[HKEY_USERS\\A\n", "test.reg line 2: a [key] line without its closing \"]\""},
      {"REGEDIT4\n[HKLM\\A]\n", "test.reg line 2: the key \"HKLM\\A\" is not a valid key path"},
      {"REGEDIT4\n[-HKEY_USERS\\A]\n", "test.reg line 2: a key deletion line \"[-...]\" has no place in a registry file"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"\n", "test.reg line 3: expected \"=\" after the value name"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a=\"b\"\n", "test.reg line 3: expected \"=\" after the value name"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=\"b\n", "test.reg line 3: a quoted text without its closing quote"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=\"b\\t\"\n", "test.reg line 3: an unknown escape \"\\t\" in a quoted text"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=\"b\" x\n", "test.reg line 3: unexpected text after the closing quote"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=dword:123456789\n", "test.reg line 3: a dword value needs one to eight hex digits"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=dword:12g4\n", "test.reg line 3: a dword value needs one to eight hex digits"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=dword:\n", "test.reg line 3: a dword value needs one to eight hex digits"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=-\n", "test.reg line 3: expected a quoted text, dword: or hex: after \"=\""},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex:1,2\n", "test.reg line 3: a hex value holds \"1\" where a byte of two hex digits belongs"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex:01,\n", "test.reg line 3: a hex value ends with \",\""},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex:01,\\\n", "test.reg line 3: a continued hex value ends with the file"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex(z):01\n", "test.reg line 3: a hex(n): value needs a hex type number"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex;01\n", "test.reg line 3: expected \":\" after hex"},
      {"REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=hex(4):01\n", "test.reg line 3: a hex(4) value needs exactly four bytes"},
      {"REGEDIT4\n[HKEY_USERS\\A]\nstray\n", "test.reg line 3: expected a [key] line or a value line, found \"stray\""},
      {std::string("REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=\"\0\"\n", 30), "test.reg: the file holds a zero byte, which no registry text can"},
  };
  for (const Case& c : cases) {
    RegistryTree tree;
    RegistryResult previous;
    ASSERT_NE(nullptr, tree.CreateKey("HKEY_USERS\\Before", previous));
    const RegistryResult result = ParseText(c.text, tree);
    EXPECT_EQ(EBADMSG, result.error) << c.text;
    EXPECT_EQ(c.detail, result.detail) << c.text;
    // A failed parse leaves an empty registry, never a half-read one.
    EXPECT_EQ(nullptr, tree.FindKey("HKEY_USERS\\A")) << c.text;
    EXPECT_EQ(nullptr, tree.FindKey("HKEY_USERS\\Before")) << c.text;
  }
  RegistryTree empty;
  EXPECT_TRUE(ParseText("", empty).ok());
  EXPECT_TRUE(ParseText("\n; only a comment\n", empty).ok());
  EXPECT_TRUE(ParseText("Windows Registry Editor Version 5.00\n", empty).ok());
}
