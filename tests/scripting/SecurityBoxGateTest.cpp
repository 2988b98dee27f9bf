// SecurityBoxGateTest.cpp -- the Security Box in front of the ZIP object's methods, end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/Guid.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "hosting/MappedPageRequest.h"
#include "hosting/ScopedPageRequest.h"
#include "scripting/CZIP.h"
#include "support/HostingPolicyInstall.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using brevik::test::HostingPolicyInstall;
using brevik::test::PeerEntryNames;
using brevik::test::WriteFileBytes;

namespace {

/// Counts the archive work that the frame lets through.
class CountingOperations final : public ZipOperations {
public:
  int calls = 0;
  std::string Zip(const ZipRequest&) override { return Count(); }
  std::string UnZip(const ZipRequest&, ComPtr<IDispatch>&) override { return Count(); }
  std::string List(const ZipRequest&, ComPtr<IDispatch>&) override { return Count(); }
  std::string Extract(const ZipRequest&) override { return Count(); }
  std::string Delete(const ZipRequest&) override { return Count(); }

private:
  std::string Count() {
    ++calls;
    return "";
  }
};

ComPtr<IZIP> MakeZip(std::shared_ptr<ZipOperations> operations = nullptr) {
  ComPtr<IZIP> zip;
  HRESULT made = operations ? CZIP::CreateInstanceWith(operations, nullptr, IID_IZIP,
                                                       reinterpret_cast<void**>(zip.ReleaseAndGetAddressOf()))
                            : CZIP::CreateInstance(nullptr, IID_IZIP,
                                                   reinterpret_cast<void**>(zip.ReleaseAndGetAddressOf()));
  EXPECT_EQ(S_OK, made);
  return zip;
}

void Put(HRESULT (IZIP::*setter)(BSTR), IZIP* zip, const std::string& text) {
  UniqueBstr value = UniqueBstr::FromUtf8(text);
  ASSERT_EQ(S_OK, (zip->*setter)(value.Get()));
}

/// IsError and ErrorReason together: "" when IsError is 0.
std::string Outcome(IZIP* zip) {
  SHORT isError = -1;
  EXPECT_EQ(S_OK, zip->get_IsError(&isError));
  if (isError == 0) return "";
  UniqueBstr reason;
  EXPECT_EQ(S_OK, zip->get_ErrorReason(reason.ReleaseAndGetAddressOf()));
  return reason.ToUtf8();
}

const std::string kPrefix = "Please contact your hosting administrator, as you are not allowed to use ";

}  // namespace

TEST(SecurityBoxGate, RefusedCallsNeverReachTheArchiveWork) {
  HostingPolicyInstall install;
  install.WriteStandardPolicy("List, Zip");
  const std::string siteA = install.SiteFolder("a");
  const std::string siteB = install.SiteFolder("b");
  WriteFileBytes(siteA + "/in.txt", "inside");
  WriteFileBytes(siteB + "/out.txt", "outside");
  MappedPageRequest page;
  page.Set("SCRIPT_FILENAME", siteA + "/page.cgi");
  ScopedPageRequest installed(page);

  auto operations = std::make_shared<CountingOperations>();
  ComPtr<IZIP> zip = MakeZip(operations);
  Put(&IZIP::put_ZipFile, zip.Get(), "  " + siteA + "/new.zip  ");
  Put(&IZIP::Add, zip.Get(), siteA + "/in.txt");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ(1, operations->calls);

  Put(&IZIP::Add, zip.Get(), siteB + "/out.txt");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ(kPrefix + "Zip method of Brevik component in " + siteB + "/out.txt path", Outcome(zip.Get()));
  EXPECT_EQ(1, operations->calls);

  // A missing file is reported before the gate is asked.
  Put(&IZIP::Add, zip.Get(), siteB + "/missing.txt");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("Please specify the valid " + siteB + "/missing.txt file name to be zipped", Outcome(zip.Get()));

  WriteFileBytes(siteA + "/new.zip", "");
  ASSERT_EQ(S_OK, zip->Delete());
  EXPECT_EQ(kPrefix + "Delete method of Brevik component", Outcome(zip.Get()));
  ScopedVariant listing;
  ASSERT_EQ(S_OK, zip->List(listing.get()));
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ(2, operations->calls);

  page.Set("SCRIPT_FILENAME", siteB + "/page.cgi");
  ASSERT_EQ(S_OK, zip->List(listing.get()));
  EXPECT_EQ(kPrefix + "Brevik component", Outcome(zip.Get()));
  EXPECT_EQ(2, operations->calls);
}

TEST(SecurityBoxGate, ARefusedZipCreatesNoArchiveAndAnAllowedOneWorks) {
  HostingPolicyInstall install;
  install.WriteStandardPolicy("Zip");
  const std::string siteA = install.SiteFolder("a");
  const std::string siteB = install.SiteFolder("b");
  WriteFileBytes(siteA + "/in.txt", "inside");
  MappedPageRequest page;
  page.Set("SCRIPT_FILENAME", siteA + "/page.cgi");
  ScopedPageRequest installed(page);

  ComPtr<IZIP> zip = MakeZip();
  Put(&IZIP::put_ZipFile, zip.Get(), siteB + "/stolen.zip");
  Put(&IZIP::Add, zip.Get(), siteA + "/in.txt");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ(kPrefix + "Zip method of Brevik component in " + siteB + "/stolen.zip path", Outcome(zip.Get()));
  EXPECT_FALSE(std::filesystem::exists(siteB + "/stolen.zip"));

  Put(&IZIP::put_ZipFile, zip.Get(), siteA + "/../b/stolen.zip");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("Invalid path specified", Outcome(zip.Get()));
  EXPECT_FALSE(std::filesystem::exists(siteB + "/stolen.zip"));

  ASSERT_EQ(S_OK, zip->put_UsePath(0));
  Put(&IZIP::put_ZipFile, zip.Get(), siteA + "/kept.zip");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ(std::vector<std::string>{"in.txt"}, PeerEntryNames(siteA + "/kept.zip"));

  // Extracting into another site's folder is refused before anything is written there.
  install.WriteStandardPolicy("UnZip");
  Put(&IZIP::put_TargetPath, zip.Get(), siteB);
  ScopedVariant entries;
  ASSERT_EQ(S_OK, zip->UnZip(entries.get()));
  EXPECT_EQ(kPrefix + "UnZip method of Brevik component in " + siteB + " path", Outcome(zip.Get()));
  EXPECT_TRUE(std::filesystem::is_empty(siteB));
  Put(&IZIP::put_TargetPath, zip.Get(), siteA + "/out");
  std::filesystem::create_directory(siteA + "/out");
  ASSERT_EQ(S_OK, zip->UnZip(entries.get()));
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ("inside", brevik::test::ReadFileBytes(siteA + "/out/in.txt"));
}

namespace {

/// A host that confines every call to one folder, as PHP's open_basedir does, and records what
/// it was asked.
class ConfiningRequest final : public PageRequest {
public:
  explicit ConfiningRequest(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> PagePhysicalPath() const override { return std::nullopt; }
  bool MayUsePath(const std::string& path, std::string& refusal) const override {
    asked.push_back(path);
    if (path.rfind(folder_ + "/", 0) == 0) return true;
    refusal = "outside " + folder_ + ": " + path;
    return false;
  }
  mutable std::vector<std::string> asked;

private:
  std::string folder_;
};

}  // namespace

TEST(SecurityBoxGate, TheHostIsAskedForEveryPathWithoutAPolicyAndItsRefusalStopsTheCall) {
  HostingPolicyInstall install;  // no policy: only the host's own confinement applies
  const std::string jail = install.SiteFolder("jail");
  const std::string other = install.SiteFolder("other");
  WriteFileBytes(jail + "/in.txt", "inside");
  WriteFileBytes(other + "/out.txt", "outside");
  std::filesystem::create_directory(jail + "/folder");
  ConfiningRequest host(jail);
  ScopedPageRequest installed(host);

  auto operations = std::make_shared<CountingOperations>();
  ComPtr<IZIP> zip = MakeZip(operations);
  Put(&IZIP::put_ZipFile, zip.Get(), jail + "/a.zip");
  Put(&IZIP::Add, zip.Get(), jail + "/in.txt");
  Put(&IZIP::AddFolder, zip.Get(), jail + "/folder");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ((std::vector<std::string>{jail + "/a.zip", jail + "/in.txt", jail + "/folder"}), host.asked);

  // The first path outside ends the call with the host's words; the archive work never starts.
  Put(&IZIP::Add, zip.Get(), other + "/out.txt");
  ASSERT_EQ(S_OK, zip->Zip());
  EXPECT_EQ("outside " + jail + ": " + other + "/out.txt", Outcome(zip.Get()));
  EXPECT_EQ(1, operations->calls);

  // UnZip and Extract are asked for their target; List and Delete for the archive alone.
  WriteFileBytes(jail + "/a.zip", "");
  Put(&IZIP::put_TargetPath, zip.Get(), other);
  host.asked.clear();
  ScopedVariant entries;
  ASSERT_EQ(S_OK, zip->UnZip(entries.get()));
  EXPECT_EQ("outside " + jail + ": " + other, Outcome(zip.Get()));
  EXPECT_EQ((std::vector<std::string>{jail + "/a.zip", other}), host.asked);
  host.asked.clear();
  ASSERT_EQ(S_OK, zip->List(entries.get()));
  EXPECT_EQ("", Outcome(zip.Get()));
  EXPECT_EQ(std::vector<std::string>{jail + "/a.zip"}, host.asked);
  EXPECT_EQ(2, operations->calls);
}
