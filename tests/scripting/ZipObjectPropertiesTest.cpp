// ZipObjectPropertiesTest.cpp -- the ZIP object's settings, queues and null strings, by name.
#include <gtest/gtest.h>

#include "ZipObjectTestSupport.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

constexpr const char* kInvalidValue = "Invalid value, or property not set";

class ZipObjectProperties : public ::testing::Test, protected ZipObjectFixture {
protected:
  // Zip needs no existing archive, so it shows the request as the object holds it.
  const ZipRequest& RunZip() {
    EXPECT_EQ(zip.Call(u"Zip"), S_OK);
    return operations->Last();
  }
  ScratchDir scratch;
  std::string archive = scratch / "a.zip";
};

TEST_F(ZipObjectProperties, AFreshObjectHasNoErrorAndTheDefaultSettings) {
  EXPECT_EQ(zip.GetShort(u"IsError"), 0);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  const ZipRequest& request = RunZip();
  EXPECT_EQ(request.createNew, 1);
  EXPECT_EQ(request.usePath, 1);
  EXPECT_EQ(request.subFolders, 1);
  EXPECT_EQ(request.overwrite, 1);
  EXPECT_EQ(request.password, "");
  EXPECT_EQ(request.targetPath, "");
  EXPECT_TRUE(request.files.empty());
  EXPECT_TRUE(request.folders.empty());
}

TEST_F(ZipObjectProperties, PutsStoreTheirValuesAsGiven) {
  ASSERT_EQ(zip.Put(u"zipfile", archive.c_str()), S_OK);
  ASSERT_EQ(zip.Put(u"CREATENEW", 0), S_OK);
  ASSERT_EQ(zip.Put(u"usePath", 7), S_OK);
  ASSERT_EQ(zip.Put(u"SubFolders", -1), S_OK);
  ASSERT_EQ(zip.Put(u"Password", "s3cr\xC3\xA9t"), S_OK);
  ASSERT_EQ(zip.Put(u"TargetPath", "/srv/\xE2\x82\xAC out"), S_OK);
  const ZipRequest& request = RunZip();
  EXPECT_EQ(request.zipFile, archive);
  EXPECT_EQ(request.createNew, 0);
  EXPECT_EQ(request.usePath, 7);
  EXPECT_EQ(request.subFolders, -1);
  EXPECT_EQ(request.password, "s3cr\xC3\xA9t");
  EXPECT_EQ(request.targetPath, "/srv/\xE2\x82\xAC out");
  // A second put replaces the first, also with an empty text.
  ASSERT_EQ(zip.Put(u"Password", ""), S_OK);
  EXPECT_EQ(RunZip().password, "");
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");
}

TEST_F(ZipObjectProperties, ANullStringWritesTheMessageButChangesNothingElse) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  ASSERT_EQ(zip.Put(u"TargetPath", "/t"), S_OK);
  ASSERT_EQ(zip.Put(u"Password", "pw"), S_OK);
  ASSERT_EQ(zip.Call(u"Add", "/f"), S_OK);
  for (const char16_t* put : {u"ZipFile", u"TargetPath", u"Password"}) {
    EXPECT_EQ(zip.Put(put, NullStringArg()), S_OK);
    EXPECT_EQ(zip.GetText(u"ErrorReason"), kInvalidValue) << Utf16ToUtf8(put);
    EXPECT_EQ(zip.GetShort(u"IsError"), 0) << Utf16ToUtf8(put);
  }
  for (const char16_t* method : {u"Add", u"AddFolder"}) {
    ScopedVariant nullString = NullStringArg();
    EXPECT_EQ(zip.Call(method, {&nullString}), S_OK);
    EXPECT_EQ(zip.GetText(u"ErrorReason"), kInvalidValue);
  }
  // Zip would refuse the missing "/f"; List shows the request without testing the queue.
  WriteFileBytes(archive, "PK");
  ASSERT_EQ(zip.Call(u"List"), S_OK);
  const ZipRequest& request = operations->Last();
  EXPECT_EQ(request.zipFile, archive);
  EXPECT_EQ(request.targetPath, "/t");
  EXPECT_EQ(request.password, "pw");
  EXPECT_EQ(request.files, TextList{"/f"});
  EXPECT_TRUE(request.folders.empty());
}

TEST_F(ZipObjectProperties, ANullStringLeavesAnEarlierFailureFlagStanding) {
  ASSERT_EQ(zip.Call(u"List"), S_OK);  // no ZipFile: fails
  ASSERT_EQ(zip.GetShort(u"IsError"), 1);
  ASSERT_EQ(zip.Put(u"ZipFile", NullStringArg()), S_OK);
  EXPECT_EQ(zip.GetShort(u"IsError"), 1);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), kInvalidValue);
}

TEST_F(ZipObjectProperties, AnEmptyVariantIsAnEmptyTextNotANullString) {
  ASSERT_EQ(zip.Put(u"Password", "pw"), S_OK);
  ASSERT_EQ(zip.Put(u"Password", TypedArg(VT_EMPTY)), S_OK);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  EXPECT_EQ(RunZip().password, "");
}

TEST_F(ZipObjectProperties, QueuesKeepOrderAndDuplicatesAndIgnoreEmptyNames) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  for (const char* file : {"b.txt", "", "a.txt", "b.txt"}) ASSERT_EQ(zip.Call(u"add", file), S_OK);
  for (const char* folder : {"", "dir2", "dir1"}) ASSERT_EQ(zip.Call(u"ADDFOLDER", folder), S_OK);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");  // an empty name writes no message
  operations->resultText = "";
  // The names need not exist for Add; Zip checks them, so ask List, which does not.
  WriteFileBytes(archive, "PK");
  ASSERT_EQ(zip.Call(u"List"), S_OK);
  ASSERT_EQ(zip.Call(u"List"), S_OK);  // no operation empties the queues
  const ZipRequest& request = operations->Last();
  EXPECT_EQ(request.files, (TextList{"b.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(request.folders, (TextList{"dir2", "dir1"}));
  EXPECT_EQ(operations->requests.size(), 2u);
}

TEST_F(ZipObjectProperties, NameConflictSelectsUniqueNamesOnlyForTheExactWord) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  struct Case {
    ScopedVariant value;
    int32_t overwrite;
  };
  Case cases[] = {
      {TextArg("MAKEUNIQUE"), 0}, {TextArg("Overwrite"), 1}, {TextArg("makeunique"), 0},
      {TextArg("MAKEUNIQUE "), 1}, {TextArg("MakeUnique"), 0}, {TextArg(""), 1},
      {TextArg("mAkEuNiQuE"), 0}, {NullStringArg(), 1}, {TextArg("MAKE UNIQUE"), 1},
  };
  for (Case& item : cases) {
    std::string shown = item.value->bstrVal ? Utf8FromBstr(item.value->bstrVal) : "<null>";
    ASSERT_EQ(zip.Invoke(u"NameConflict", DISPATCH_PROPERTYPUT, {&item.value}), S_OK);
    EXPECT_EQ(RunZip().overwrite, item.overwrite) << shown;
  }
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");  // a null NameConflict writes no message
}

TEST_F(ZipObjectProperties, EncryptionTakesTheFourCipherNamesInAnyCaseAndRefusesOthers) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  EXPECT_EQ(RunZip().encryption, 0);  // the traditional cipher by default
  const std::pair<const char*, int32_t> names[] = {{"AES256", 3}, {"aes192", 2}, {"Aes128", 1}, {"zipCRYPTO", 0}};
  for (const auto& [name, cipher] : names) {
    ASSERT_EQ(zip.Put(u"Encryption", name), S_OK);
    EXPECT_EQ(RunZip().encryption, cipher) << name;
  }
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");
  // Anything else is refused with the usual message, and the cipher set before stays.
  ASSERT_EQ(zip.Put(u"Encryption", "AES256"), S_OK);
  for (const char* bad : {"AES-256", "aes512", "", " AES128"}) {
    ASSERT_EQ(zip.Put(u"Encryption", bad), S_OK);
    EXPECT_EQ(zip.GetText(u"ErrorReason"), kInvalidValue) << bad;
  }
  EXPECT_EQ(zip.Put(u"Encryption", NullStringArg()), S_OK);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), kInvalidValue);
  EXPECT_EQ(RunZip().encryption, 3);
}

TEST_F(ZipObjectProperties, TextsCrossTheBoundaryAsUtf16) {
  // U+00E9, U+20AC and U+1F600 (a surrogate pair) as the script writes them.
  const std::u16string wide = u"/tmp/caf\u00e9\u20ac\U0001F600.zip";
  ASSERT_EQ(zip.Put(u"ZipFile", TextArg(wide)), S_OK);
  EXPECT_EQ(RunZip().zipFile, "/tmp/caf\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80.zip");
  operations->resultText = "Cannot open file \xC3\xA9.zip";
  ASSERT_EQ(zip.Call(u"Zip"), S_OK);
  ScopedVariant reason = zip.Get(u"ErrorReason");
  ASSERT_EQ(reason->vt, VT_BSTR);
  EXPECT_EQ(std::u16string(reason->bstrVal, SysStringLen(reason->bstrVal)), u"Cannot open file \u00e9.zip");
}

}  // namespace
