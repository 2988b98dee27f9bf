// ZipObjectFrameTest.cpp -- the operation frame: checks in order, exact messages, error state.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ZipObjectTestSupport.h"
#include "frame/automation/ModuleLockCount.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

constexpr const char* kInvalidZipFile = "Please specify the valid ZIP file name";
constexpr const char* kInvalidTarget = "Please specify the valid target path to unzip";

class ZipObjectFrame : public ::testing::Test, protected ZipObjectFixture {
protected:
  ZipObjectFrame() {
    WriteFileBytes(archive, "not really an archive: the test operations never read it");
    WriteFileBytes(file1, "one");
    WriteFileBytes(file2, "two");
    ::mkdir(folder.c_str(), 0755);
    ::mkdir(target.c_str(), 0755);
  }
  void ExpectFailure(const std::string& reason) {
    EXPECT_EQ(zip.GetShort(u"IsError"), 1);
    EXPECT_EQ(zip.GetText(u"ErrorReason"), reason);
  }

  ScratchDir scratch;
  std::string archive = scratch / "in.zip";
  std::string file1 = scratch / "one.txt";
  std::string file2 = scratch / "two.txt";
  std::string folder = scratch / "folder";
  std::string target = scratch / "target";
};

TEST_F(ZipObjectFrame, EveryMethodNeedsAnArchiveName) {
  for (const char16_t* method : {u"Zip", u"UnZip", u"List", u"Extract", u"Delete"}) {
    ZipObjectFixture fresh;
    ASSERT_EQ(fresh.zip.Call(method), S_OK);
    EXPECT_EQ(fresh.zip.GetShort(u"IsError"), 1) << Utf16ToUtf8(method);
    EXPECT_EQ(fresh.zip.GetText(u"ErrorReason"), kInvalidZipFile) << Utf16ToUtf8(method);
    EXPECT_TRUE(fresh.operations->requests.empty());
    // A name of blanks only is no name either.
    ASSERT_EQ(fresh.zip.Put(u"ZipFile", " \t\r\n\v\f "), S_OK);
    ASSERT_EQ(fresh.zip.Put(u"TargetPath", target.c_str()), S_OK);
    ASSERT_EQ(fresh.zip.Call(method), S_OK);
    EXPECT_EQ(fresh.zip.GetText(u"ErrorReason"), kInvalidZipFile) << Utf16ToUtf8(method);
    EXPECT_TRUE(fresh.operations->requests.empty());
  }
}

TEST_F(ZipObjectFrame, TheArchiveNameIsStoredTrimmedAndBlanksPlayNoPartInChecks) {
  ASSERT_EQ(zip.Put(u"ZipFile", ("  \t" + archive + " \r\n").c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"List"), S_OK);
  EXPECT_EQ(zip.GetShort(u"IsError"), 0);
  EXPECT_EQ(operations->Last().zipFile, archive);
  // Stored back trimmed: a later method sees the trimmed name too.
  ASSERT_EQ(zip.Call(u"Delete"), S_OK);
  EXPECT_EQ(operations->Last().zipFile, archive);
  ASSERT_EQ(zip.Put(u"ZipFile", ("  " + scratch / "missing.zip" + "  ").c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"List"), S_OK);
  ExpectFailure(kInvalidZipFile);
}

TEST_F(ZipObjectFrame, ZipChecksEveryQueuedFileThenEveryFolderInQueueOrder) {
  ASSERT_EQ(zip.Put(u"ZipFile", (scratch / "new.zip").c_str()), S_OK);  // may not exist yet
  const std::string missing = scratch / "missing.txt";
  const std::string missingFolder = scratch / "nofolder";
  ASSERT_EQ(zip.Call(u"AddFolder", missingFolder.c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"Add", file1.c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"Add", missing.c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"Add", (scratch / "also-missing").c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"Zip"), S_OK);
  // The files come first, so the message names the second file, not the folder.
  ExpectFailure("Please specify the valid " + missing + " file name to be zipped");
  EXPECT_TRUE(operations->requests.empty());

  ZipObjectFixture second;
  ASSERT_EQ(second.zip.Put(u"ZipFile", (scratch / "new.zip").c_str()), S_OK);
  ASSERT_EQ(second.zip.Call(u"Add", folder.c_str()), S_OK);  // a folder passes the path test
  ASSERT_EQ(second.zip.Call(u"AddFolder", (folder + "//").c_str()), S_OK);  // trailing "/" cut
  ASSERT_EQ(second.zip.Call(u"AddFolder", file1.c_str()), S_OK);            // a file is no folder
  ASSERT_EQ(second.zip.Call(u"Zip"), S_OK);
  EXPECT_EQ(second.zip.GetText(u"ErrorReason"),
            "Please specify the valid " + file1 + " folder name to be zipped");
  EXPECT_TRUE(second.operations->requests.empty());
}

TEST_F(ZipObjectFrame, NamesAreTestedExactlyAsQueued) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  // No trimming and no wildcards in the existence test.
  const std::string padded = " " + file1;
  ASSERT_EQ(zip.Call(u"Add", padded.c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"Zip"), S_OK);
  ExpectFailure("Please specify the valid " + padded + " file name to be zipped");
  ZipObjectFixture wildcard;
  ASSERT_EQ(wildcard.zip.Put(u"ZipFile", archive.c_str()), S_OK);
  ASSERT_EQ(wildcard.zip.Call(u"Add", (scratch / "*.txt").c_str()), S_OK);
  ASSERT_EQ(wildcard.zip.Call(u"Zip"), S_OK);
  EXPECT_EQ(wildcard.zip.GetText(u"ErrorReason"),
            "Please specify the valid " + scratch / "*.txt" + " file name to be zipped");
}

TEST_F(ZipObjectFrame, UnZipAndExtractTestTheTargetBeforeTheArchive) {
  for (const char16_t* method : {u"UnZip", u"Extract"}) {
    ZipObjectFixture object;
    const std::string name = Utf16ToUtf8(method);
    ASSERT_EQ(object.zip.Put(u"ZipFile", (scratch / "missing.zip").c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);  // TargetPath never set
    EXPECT_EQ(object.zip.GetText(u"ErrorReason"), kInvalidTarget) << name;
    ASSERT_EQ(object.zip.Put(u"TargetPath", (scratch / "nowhere").c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetText(u"ErrorReason"), kInvalidTarget) << name;
    ASSERT_EQ(object.zip.Put(u"TargetPath", file1.c_str()), S_OK);  // a file is no folder
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetText(u"ErrorReason"), kInvalidTarget) << name;
    ASSERT_EQ(object.zip.Put(u"TargetPath", (target + "/").c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetText(u"ErrorReason"), kInvalidZipFile) << name;
    EXPECT_TRUE(object.operations->requests.empty()) << name;
    ASSERT_EQ(object.zip.Put(u"ZipFile", archive.c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetShort(u"IsError"), 0) << name;
    ASSERT_EQ(object.operations->requests.size(), 1u) << name;
    EXPECT_EQ(object.operations->Last().targetPath, target + "/");  // as the script set it
  }
}

TEST_F(ZipObjectFrame, ListAndDeleteNeedOnlyAnExistingArchive) {
  for (const char16_t* method : {u"List", u"Delete"}) {
    ZipObjectFixture object;
    ASSERT_EQ(object.zip.Put(u"ZipFile", (scratch / "missing.zip").c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(u"Add", "not checked.txt"), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetText(u"ErrorReason"), kInvalidZipFile);
    ASSERT_EQ(object.zip.Put(u"ZipFile", archive.c_str()), S_OK);
    ASSERT_EQ(object.zip.Call(method), S_OK);
    EXPECT_EQ(object.zip.GetShort(u"IsError"), 0) << Utf16ToUtf8(method);
    EXPECT_EQ(object.operations->Last().files, TextList{"not checked.txt"});
  }
}

TEST_F(ZipObjectFrame, TheResultTextBecomesTheErrorStateAndAnOldReasonOutlivesSuccess) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  operations->resultText = "Cannot open file " + archive + ". It does not appear to be a valid zip";
  ASSERT_EQ(zip.Call(u"Delete"), S_OK);
  ExpectFailure(operations->resultText);
  operations->resultText = "";
  ASSERT_EQ(zip.Call(u"Delete"), S_OK);
  EXPECT_EQ(zip.GetShort(u"IsError"), 0);
  EXPECT_EQ(zip.GetText(u"ErrorReason"),
            "Cannot open file " + archive + ". It does not appear to be a valid zip");
  // A failed check after that sets the flag again with its own message.
  ASSERT_EQ(zip.Put(u"ZipFile", ""), S_OK);
  ASSERT_EQ(zip.Call(u"Delete"), S_OK);
  ExpectFailure(kInvalidZipFile);
}

TEST_F(ZipObjectFrame, AnExceptionFromAnOperationIsAFailureNotACrash) {
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  operations->failure = RecordingOperations::Failure::RuntimeError;
  EXPECT_EQ(zip.Call(u"Delete"), S_OK);
  ExpectFailure("disk on fire");
  operations->failure = RecordingOperations::Failure::NonStandard;
  EXPECT_EQ(zip.Call(u"Zip"), S_OK);
  ExpectFailure("The operation stopped on an unexpected error");
}

TEST_F(ZipObjectFrame, UnZipAndListHandBackTheCollectionOnlyOnSuccess) {
  // Any dispatch object stands in for the collection; its identity is what counts.
  ScriptObject stand_in = ZipObjectFixture::Create(std::make_shared<RecordingOperations>());
  operations->collection = ComPtr<IDispatch>(stand_in.get());
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  ASSERT_EQ(zip.Put(u"TargetPath", target.c_str()), S_OK);
  for (const char16_t* method : {u"UnZip", u"List"}) {
    const std::string name = Utf16ToUtf8(method);
    ScopedVariant result;
    ASSERT_EQ(zip.Invoke(method, DISPATCH_METHOD, {}, result.get()), S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH) << name;
    EXPECT_EQ(result->pdispVal, stand_in.get()) << name;
    EXPECT_EQ(zip.GetShort(u"IsError"), 0);

    operations->resultText = "Cannot open file x. It does not appear to be a valid password";
    ScopedVariant failed;
    ASSERT_EQ(zip.Invoke(method, DISPATCH_METHOD, {}, failed.get()), S_OK);
    EXPECT_EQ(failed->vt, VT_DISPATCH) << name;
    EXPECT_EQ(failed->pdispVal, nullptr) << name;
    ExpectFailure(operations->resultText);
    operations->resultText = "";
  }
  // A failed check hands back the null reference too, without running the operation.
  ASSERT_EQ(zip.Put(u"TargetPath", (scratch / "nowhere").c_str()), S_OK);
  ScopedVariant refused;
  ASSERT_EQ(zip.Invoke(u"unzip", DISPATCH_METHOD, {}, refused.get()), S_OK);
  EXPECT_EQ(refused->vt, VT_DISPATCH);
  EXPECT_EQ(refused->pdispVal, nullptr);
  EXPECT_EQ(operations->requests.size(), 4u);
  // Only the test's references remain: the failed calls released the collection they got.
  operations->collection.Reset();
  EXPECT_EQ(stand_in.get()->AddRef(), 2u);
  stand_in.get()->Release();
}

TEST_F(ZipObjectFrame, ARefusalOfTheHostingPolicyStopsTheMethod) {
  // The policy applies to the component, and the call comes without a page request.
  policy.WriteStandardPolicy("Zip,List");
  ASSERT_EQ(zip.Put(u"ZipFile", archive.c_str()), S_OK);
  ASSERT_EQ(zip.Call(u"List"), S_OK);
  EXPECT_EQ(zip.GetShort(u"IsError"), 1);
  EXPECT_EQ(zip.GetText(u"ErrorReason").rfind("No page request is available to this component", 0), 0u)
      << zip.GetText(u"ErrorReason");
  EXPECT_TRUE(operations->requests.empty());
}

TEST(ZipObjectProduct, ObjectsMadeForScriptsRunThisBuildsOperations) {
  HostingPolicyInstall noPolicy;
  ScratchDir scratch;
  WriteFileBytes(scratch / "a.zip", "x");
  IDispatch* object = nullptr;
  ASSERT_EQ(CZIP::CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
  ScriptObject zip(object);
  object->Release();
  ASSERT_EQ(zip.Put(u"ZipFile", (scratch / "a.zip").c_str()), S_OK);
  ScopedVariant collection;
  ASSERT_EQ(zip.Invoke(u"List", DISPATCH_METHOD, {}, collection.get()), S_OK);
  // Not a test operation: the real listing refuses this damaged archive.
  EXPECT_EQ(zip.GetShort(u"IsError"), 1);
  EXPECT_EQ(zip.GetText(u"ErrorReason"),
            "Cannot open file " + scratch / "a.zip" + ". It does not appear to be a valid zip");
  EXPECT_EQ(collection->vt, VT_DISPATCH);
  EXPECT_EQ(collection->pdispVal, nullptr);
}

}  // namespace
