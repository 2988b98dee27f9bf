// TypeLibraryTest.cpp -- the contract scripts see: member order, DISPIDs, kinds, types, help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/automation/IUnZip.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/IZIP.h"
#include "frame/automation/TypeLibrary.h"

namespace {

struct Row {
  std::string name;
  MemberKind kind;
  DISPID dispid;
  std::vector<VARTYPE> arguments;
  VARTYPE result;
  std::string help;
};

std::vector<Row> RowsOf(const InterfaceInfo& info) {
  std::vector<Row> rows;
  uint16_t order = 0;
  for (const MemberInfo& member : info.members) {
    EXPECT_EQ(member.order, ++order) << member.name;
    EXPECT_NE(member.call, nullptr) << member.name;
    std::vector<VARTYPE> arguments;
    for (const ArgumentInfo& argument : member.arguments) arguments.push_back(argument.type);
    rows.push_back({member.name, member.kind, member.dispid, arguments, member.resultType, member.helpString});
  }
  return rows;
}

void ExpectRows(const InterfaceInfo& info, const std::vector<Row>& expected) {
  const std::vector<Row> actual = RowsOf(info);
  ASSERT_EQ(actual.size(), expected.size()) << info.name;
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(std::string(info.name) + " row " + std::to_string(i + 1));
    EXPECT_EQ(actual[i].name, expected[i].name);
    EXPECT_EQ(actual[i].kind, expected[i].kind);
    EXPECT_EQ(actual[i].dispid, expected[i].dispid);
    EXPECT_EQ(actual[i].arguments, expected[i].arguments);
    EXPECT_EQ(actual[i].result, expected[i].result);
    EXPECT_EQ(actual[i].help, expected[i].help);
  }
}

using K = MemberKind;

TEST(TypeLibrary, TheLibraryAndItsCoclass) {
  const TypeLibraryInfo& library = BrevikTypeLibrary();
  EXPECT_STREQ(library.name, "BREVIKLib");
  EXPECT_EQ(library.majorVersion, 1);
  EXPECT_EQ(library.minorVersion, 0);
  EXPECT_EQ(library.locale, 1033u);
  EXPECT_STREQ(library.helpString, "Brevik 1.0 Type Library");
  EXPECT_TRUE(*library.libid == LIBID_BREVIKLib);
  ASSERT_EQ(library.coclasses.size(), 1u);  // only ZIP is creatable
  EXPECT_STREQ(library.coclasses[0].name, "ZIP");
  EXPECT_STREQ(library.coclasses[0].helpString, "ZIP Class");
  EXPECT_TRUE(*library.coclasses[0].clsid == CLSID_ZIP);
  EXPECT_EQ(library.coclasses[0].defaultInterface, &IZIP::TypeInfo());
  ASSERT_EQ(library.interfaces.size(), 3u);
  EXPECT_EQ(library.interfaces[0], &IZIP::TypeInfo());
  EXPECT_EQ(library.interfaces[1], &IUnZip::TypeInfo());
  EXPECT_EQ(library.interfaces[2], &IUnZipEntries::TypeInfo());
  EXPECT_TRUE(*IZIP::TypeInfo().iid == IID_IZIP);
  EXPECT_STREQ(IZIP::TypeInfo().helpString, "IZIP Interface");
  EXPECT_TRUE(*IUnZip::TypeInfo().iid == IID_IUnZip);
  EXPECT_STREQ(IUnZip::TypeInfo().helpString, "IUnZip Interface");
  EXPECT_TRUE(*IUnZipEntries::TypeInfo().iid == IID_IUnZipEntries);
  EXPECT_STREQ(IUnZipEntries::TypeInfo().helpString, "IUnZipEntries Interface");
}

TEST(TypeLibrary, IZIPMembers) {
  ExpectRows(IZIP::TypeInfo(), {
      {"CreateNew", K::PropertyPut, 1, {VT_I4}, VT_EMPTY, "property CreateNew"},
      {"ZipFile", K::PropertyPut, 6, {VT_BSTR}, VT_EMPTY, "property ZipFile"},
      {"ZIP", K::Method, 7, {}, VT_EMPTY, "method Zip"},  // the coclass owns the name's form
      {"IsError", K::PropertyGet, 8, {}, VT_I2, "property IsError"},
      {"ErrorReason", K::PropertyGet, 9, {}, VT_BSTR, "property ErrorReason"},
      {"UsePath", K::PropertyPut, 12, {VT_I4}, VT_EMPTY, "property UsePath"},
      {"AddFolder", K::Method, 13, {VT_BSTR}, VT_EMPTY, "method AddFolder"},
      {"UnZip", K::Method, 14, {}, VT_VARIANT, "method UnZip"},
      {"TargetPath", K::PropertyPut, 15, {VT_BSTR}, VT_EMPTY, "property TargetPath"},
      {"List", K::Method, 16, {}, VT_VARIANT, "method List"},
      {"Extract", K::Method, 17, {}, VT_EMPTY, "method Extract"},
      {"Delete", K::Method, 20, {}, VT_EMPTY, "method Delete"},
      {"Add", K::Method, 21, {VT_BSTR}, VT_EMPTY, "method Add"},
      {"SubFolders", K::PropertyPut, 22, {VT_I4}, VT_EMPTY, "property SubFolders"},
      {"NameConflict", K::PropertyPut, 23, {VT_BSTR}, VT_EMPTY, "property NameConflict"},
      {"Password", K::PropertyPut, 24, {VT_BSTR}, VT_EMPTY, "property Password"},
      {"Encryption", K::PropertyPut, 25, {VT_BSTR}, VT_EMPTY, "property Encryption"},
  });
}

TEST(TypeLibrary, CollectionAndEntryMembers) {
  ExpectRows(IUnZip::TypeInfo(), {
      {"Count", K::PropertyGet, 0x60020000, {}, VT_I4, "Returns number of items in collection."},
      {"Item", K::PropertyGet, 0, {VT_I4}, VT_VARIANT, "Given an index, returns an item in the collection."},
      {"_NewEnum", K::PropertyGet, -4, {}, VT_UNKNOWN, "returns an enumerator for the collection."},
  });
  ExpectRows(IUnZipEntries::TypeInfo(), {
      {"Name", K::PropertyGet, 1, {}, VT_BSTR, "property Name"},
      {"Type", K::PropertyGet, 2, {}, VT_BSTR, "property Type"},
      {"Size", K::PropertyGet, 3, {}, VT_VARIANT, "property Size"},
      {"SavedName", K::PropertyGet, 4, {}, VT_BSTR, "property SavedName"},
      {"PasswordRequired", K::PropertyGet, 5, {}, VT_BSTR, "property PasswordRequired"},
      {"ErrorReason", K::PropertyGet, 6, {}, VT_BSTR, "property ErrorReason"},
  });
}

TEST(TypeLibrary, LookUpsIgnoreAsciiCaseOnly) {
  const InterfaceInfo& zip = IZIP::TypeInfo();
  EXPECT_EQ(FindMemberByName(zip, u"zip")->dispid, 7);
  EXPECT_EQ(FindMemberByName(zip, u"Zip")->dispid, 7);
  EXPECT_EQ(FindMemberByName(zip, u"namecONFLICT")->dispid, 23);
  EXPECT_EQ(FindMemberByName(zip, u"Zi"), nullptr);
  EXPECT_EQ(FindMemberByName(zip, u"Zips"), nullptr);
  EXPECT_EQ(FindMemberByName(zip, u"\u017Fubfolders"), nullptr);  // long s does not fold to "s"
  EXPECT_EQ(FindMemberByName(IUnZip::TypeInfo(), u"_newenum")->dispid, DISPID_NEWENUM);
  EXPECT_EQ(FindMemberByDispid(zip, 20)->name, std::string("Delete"));
  EXPECT_EQ(FindMemberByDispid(zip, 2), nullptr);
}

TEST(TypeLibrary, EveryMemberOfEveryInterfaceIsFoundByItsNameInAnyCase) {
  for (const InterfaceInfo* info : BrevikTypeLibrary().interfaces) {
    for (const MemberInfo& member : info->members) {
      std::u16string lower, upper;
      for (const char* c = member.name; *c; ++c) {
        lower += static_cast<char16_t>(*c >= 'A' && *c <= 'Z' ? *c + 32 : *c);
        upper += static_cast<char16_t>(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
      }
      EXPECT_EQ(FindMemberByName(*info, lower), &member) << info->name << "." << member.name;
      EXPECT_EQ(FindMemberByName(*info, upper), &member) << info->name << "." << member.name;
      EXPECT_EQ(FindMemberByDispid(*info, member.dispid), &member) << "DISPIDs are unique";
    }
  }
}

}  // namespace
