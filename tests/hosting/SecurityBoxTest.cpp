// SecurityBoxTest.cpp -- the Security Box policy as an administrator writes it, step by step.
#include "hosting/SecurityBox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hosting/MappedPageRequest.h"
#include "hosting/ScopedPageRequest.h"
#include "support/HostingPolicyInstall.h"

using brevik::test::HostingPolicyInstall;
using brevik::test::HostingScopedEnv;

namespace {

constexpr int32_t kZip = 0, kUnZip = 1, kList = 2, kExtract = 3, kDelete = 4;

const std::string kComponentRefusal =
    "Please contact your hosting administrator, as you are not allowed to use Brevik component";

std::string MethodRefusal(const std::string& method) {
  return "Please contact your hosting administrator, as you are not allowed to use " + method +
         " method of Brevik component";
}

std::string PathRefusal(const std::string& method, const std::string& path) {
  return MethodRefusal(method) + " in " + path + " path";
}

/// One scratch installation with a page at sites/a/page.cgi, served through an installed
/// request unless a test asks otherwise.
class SecurityBoxTest : public ::testing::Test {
protected:
  SecurityBoxTest() : siteA_(install_.SiteFolder("a")), installed_(std::in_place, page_) {
    page_.Set("SCRIPT_FILENAME", siteA_ + "/page.cgi");
  }

  /// A request for `operation` on `zipFile` as the ZIP object hands it over.
  HostingRequest Request(int32_t operation, const std::string& zipFile) const {
    HostingRequest request;
    request.operation = operation;
    request.zipFile = zipFile;
    return request;
  }

  /// Runs both policy steps as the frame does; the refusal text, or "" when allowed.
  std::string Decide(HostingRequest& request) const {
    request.errorReason = "";
    if (!LocateSecuritySettings(request)) return "locate: " + request.errorReason;
    if (!CheckSecurityBox(request)) return request.errorReason;
    EXPECT_EQ("", request.errorReason) << "an allowed call leaves the error text alone";
    return "";
  }

  std::string Decide(int32_t operation, const std::string& zipFile) const {
    HostingRequest request = Request(operation, zipFile);
    return Decide(request);
  }

  void RemovePageRequest() { installed_.reset(); }

  HostingPolicyInstall install_;
  const std::string siteA_;
  MappedPageRequest page_;
  std::optional<ScopedPageRequest> installed_;
};

}  // namespace

TEST(SecurityBoxMethodNames, NamesByOperation) {
  EXPECT_EQ("Zip", MethodNameOf(0));
  EXPECT_EQ("UnZip", MethodNameOf(1));
  EXPECT_EQ("List", MethodNameOf(2));
  EXPECT_EQ("Extract", MethodNameOf(3));
  EXPECT_EQ("Delete", MethodNameOf(4));
  EXPECT_EQ("", MethodNameOf(-1));
  EXPECT_EQ("", MethodNameOf(5));
}

TEST_F(SecurityBoxTest, LocatingTrimsTheArchiveNameAndFindsBothFiles) {
  HostingRequest request = Request(kList, " \t/srv/x.zip \r\n");
  EXPECT_TRUE(LocateSecuritySettings(request));
  EXPECT_EQ("/srv/x.zip", request.zipFile);
  EXPECT_EQ(1, request.securityBypass);
  EXPECT_EQ("No such file or directory\n", request.adminIniPath);

  request = Request(kList, " \t ");
  request.errorReason = "old";
  EXPECT_FALSE(LocateSecuritySettings(request));
  EXPECT_EQ("", request.zipFile);
  EXPECT_EQ("Please specify the valid ZIP file name", request.errorReason);

  install_.WriteStandardPolicy("All");
  request = Request(kList, "x.zip");
  request.securityBypass = 1;
  EXPECT_TRUE(LocateSecuritySettings(request));
  EXPECT_EQ(0, request.securityBypass);
  EXPECT_EQ(install_.installFolder() + "/Admin.ini", request.adminIniPath);
  EXPECT_EQ(install_.installFolder() + "/WebSite.ini", request.webSiteIniPath);
}

TEST_F(SecurityBoxTest, WithoutTheSettingsEveryMethodIsAllowedAndThePageIsNeverAsked) {
  RemovePageRequest();  // were the page asked for, the call would be refused
  const std::string outside = install_.root() + "/elsewhere.zip";
  EXPECT_EQ("", Decide(kZip, outside));  // no registry file at all

  install_.WriteRegistry("\"EnableSecurityBox\"=dword:00000001\n");  // no InstallationPath
  EXPECT_EQ("", Decide(kDelete, outside));

  install_.WriteRegistryValues(install_.installFolder(), 1);  // no Admin.ini
  install_.WriteWebSiteIni("[Path]\nSiteA=" + siteA_ + "\n");
  EXPECT_EQ("", Decide(kUnZip, outside));

  install_.WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Brevik\n");
  std::remove((install_.installFolder() + "/WebSite.ini").c_str());  // no WebSite.ini
  HostingRequest request = Request(kExtract, outside);
  EXPECT_EQ("", Decide(request));
  EXPECT_EQ(1, request.securityBypass);
  EXPECT_EQ("No such file or directory\n", request.webSiteIniPath);
}

TEST_F(SecurityBoxTest, InstalledAppliedAndTheSwitchAreReadInOrder) {
  RemovePageRequest();
  install_.WriteWebSiteIni("[Path]\nSiteA=" + siteA_ + "\n");
  const std::string outside = install_.root() + "/elsewhere.zip";

  // Not installed: the switch is never read, so its absence does not matter.
  install_.WriteRegistryValues(install_.installFolder(), std::nullopt);
  install_.WriteAdminIni("[Settings]\nInstalled=Other, BrevikPlus\nApplied=Brevik\n");
  EXPECT_EQ("", Decide(kZip, outside));

  // Installed (any case, spaces around items): now the switch must be readable.
  install_.WriteAdminIni("[Settings]\nInstalled= Other , bREVIK \nApplied=Other\n");
  EXPECT_EQ("No such file or directory\n", Decide(kZip, outside));
  install_.WriteRegistry("\"InstallationPath\"=\"" + install_.installFolder() +
                         "\"\n\"EnableSecurityBox\"=\"1\"\n");
  EXPECT_EQ("The type you specified mismatch with registry value type", Decide(kZip, outside));

  // Off when the low 16 bits are 0, whatever "Applied" says.
  install_.WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Brevik\n");
  for (uint32_t off : {0u, 65536u, 0x7FFF0000u}) {
    install_.WriteRegistryValues(install_.installFolder(), off);
    EXPECT_EQ("", Decide(kZip, outside)) << off;
  }

  // On but not applied to this component: allowed without asking for the page.
  install_.WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Other\n");
  install_.WriteRegistryValues(install_.installFolder(), 1);
  EXPECT_EQ("", Decide(kZip, outside));

  // On and applied: the page request is needed now. Values above 2147483647 saturate to
  // 0x7FFFFFFF, whose low bits are set.
  install_.WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Brevik\n");
  const std::string noRequest =
      "No page request is available to this component\n( Unable to proceed further as calling "
      "request object not found. Please free Brevik component from Tessaly Security Box to make ";
  for (uint32_t on : {1u, 65537u, 0x80000000u, 0xFFFFFFFFu}) {
    install_.WriteRegistryValues(install_.installFolder(), on);
    HostingRequest request = Request(kZip, outside);
    EXPECT_EQ(noRequest + "Zip method successfull. )", Decide(request)) << on;
    EXPECT_EQ("No page request is available to this component\n", request.requestPath);
  }
  EXPECT_EQ(noRequest + "Delete method successfull. )", Decide(kDelete, outside));
}

TEST_F(SecurityBoxTest, ThePageMustLieInABoxThatListsTheComponent) {
  install_.WriteStandardPolicy("All");
  const std::string zip = siteA_ + "/data.zip";
  HostingRequest request = Request(kList, zip);
  EXPECT_EQ("", Decide(request));
  EXPECT_EQ(siteA_, request.requestPath);

  const std::string siteAB = install_.SiteFolder("ab");
  page_.Set("SCRIPT_FILENAME", siteAB + "/page.cgi");  // "a" is only a prefix of "ab"
  request = Request(kList, siteAB + "/data.zip");
  EXPECT_EQ(kComponentRefusal, Decide(request));
  EXPECT_EQ(siteAB + "/page.cgi", request.requestPath);

  page_.Set("SCRIPT_FILENAME", siteA_ + "/../ab/page.cgi");  // names "a", lies in "ab"
  EXPECT_EQ(kComponentRefusal, Decide(kList, zip));
  page_.Set("SCRIPT_FILENAME", "");
  EXPECT_EQ(kComponentRefusal, Decide(kList, zip));

  page_.Set("SCRIPT_FILENAME", siteA_ + "/page.cgi");
  install_.WriteWebSiteIni("[Path]\nSiteA=" + siteA_ + "\n[Security]\nSiteA=Other, BrevikPlus\n" +
                           "[SiteA]\nBrevik=All\n");
  EXPECT_EQ(kComponentRefusal, Decide(kList, zip));
  install_.WriteWebSiteIni("[Path]\nSiteA=" + siteA_ + "\n[SiteA]\nBrevik=All\n");
  EXPECT_EQ(kComponentRefusal, Decide(kList, zip));

  // An empty [Path] folder would put every page in that box: the line is skipped.
  install_.WriteWebSiteIni("[Path]\nEverything=\n[Security]\nEverything=Brevik\n"
                           "[Everything]\nBrevik=All\n");
  EXPECT_EQ(kComponentRefusal, Decide(kList, zip));
}

TEST_F(SecurityBoxTest, TheFirstMatchingPathLineChoosesTheBox) {
  const std::string sites = install_.root() + "/sites";
  install_.WriteRegistryValues(install_.installFolder(), 1);
  install_.WriteAdminIni("[Settings]\nInstalled=Brevik\nApplied=Brevik\n");
  install_.WriteWebSiteIni("[Path]\nWide=" + sites + "\nNarrow=" + siteA_ +
                           "\n[Security]\nWide=Brevik\nNarrow=Brevik\n[Wide]\nBrevik=List\n"
                           "[Narrow]\nBrevik=Delete\n");
  HostingRequest request = Request(kList, sites + "/b/data.zip");
  EXPECT_EQ("", Decide(request));
  EXPECT_EQ(sites, request.requestPath);
  EXPECT_EQ(MethodRefusal("Delete"), Decide(kDelete, siteA_ + "/data.zip"));
}

TEST_F(SecurityBoxTest, MethodListsAreMatchedItemByItem) {
  const std::string zip = siteA_ + "/data.zip";
  install_.WriteStandardPolicy(" extract , LIST ");
  EXPECT_EQ("", Decide(kList, zip));
  HostingRequest extract = Request(kExtract, zip);
  extract.targetPath = siteA_;
  EXPECT_EQ("", Decide(extract));
  EXPECT_EQ(MethodRefusal("Zip"), Decide(kZip, zip));
  EXPECT_EQ(MethodRefusal("UnZip"), Decide(kUnZip, zip));
  EXPECT_EQ(MethodRefusal("Delete"), Decide(kDelete, zip));

  install_.WriteStandardPolicy("all");
  for (int32_t operation : {kZip, kList, kDelete}) EXPECT_EQ("", Decide(operation, zip));

  for (const char* none : {"", "Lists", "All Zip", "*"}) {
    install_.WriteStandardPolicy(none);
    EXPECT_EQ(MethodRefusal("List"), Decide(kList, zip)) << none;
  }
}

TEST_F(SecurityBoxTest, EachMethodTestsItsOwnPaths) {
  install_.WriteStandardPolicy("All");
  const std::string zip = siteA_ + "/data.zip";
  const std::string outside = install_.SiteFolder("b");

  // List and Delete touch only the archive.
  for (int32_t operation : {kList, kDelete}) {
    HostingRequest request = Request(operation, zip);
    request.targetPath = outside;
    request.files = {outside + "/f"};
    request.folders = {outside};
    EXPECT_EQ("", Decide(request));
  }
  const std::string method[] = {"Zip", "UnZip", "List", "Extract", "Delete"};
  for (int32_t operation : {kZip, kUnZip, kList, kExtract, kDelete})
    EXPECT_EQ(PathRefusal(method[operation], outside + "/data.zip"),
              Decide(operation, outside + "/data.zip"));

  // UnZip and Extract also write under the target folder.
  for (int32_t operation : {kUnZip, kExtract}) {
    HostingRequest request = Request(operation, zip);
    request.files = {outside + "/f"};
    request.targetPath = siteA_ + "/out";
    EXPECT_EQ("", Decide(request));
    request.targetPath = outside;
    EXPECT_EQ(PathRefusal(method[operation], outside), Decide(request));
    request.targetPath = siteA_ + "/../b";
    EXPECT_EQ("Invalid path specified", Decide(request));
    request.targetPath = siteA_;
    EXPECT_EQ("", Decide(request));
  }

  // Zip reads every queued file, then every queued folder; the first outside is named.
  HostingRequest request = Request(kZip, zip);
  request.targetPath = outside;
  request.files = {siteA_ + "/one", siteA_ + "/two"};
  request.folders = {siteA_ + "/dir"};
  EXPECT_EQ("", Decide(request));
  request.files = {siteA_ + "/one", outside + "/two", outside + "/three"};
  EXPECT_EQ(PathRefusal("Zip", outside + "/two"), Decide(request));
  request.files = {siteA_ + "/one"};
  request.folders = {siteA_ + "/dir", outside, "relative"};
  EXPECT_EQ(PathRefusal("Zip", outside), Decide(request));
  request.folders = {siteA_ + "\\..\\b"};
  EXPECT_EQ("Invalid path specified", Decide(request));
}

TEST_F(SecurityBoxTest, PathsMustStayInsideTheBoxFolder) {
  install_.WriteStandardPolicy("All");
  const std::string siteAB = install_.SiteFolder("ab");
  // A neighbour whose name starts with the box's folder name is another site.
  EXPECT_EQ(PathRefusal("List", siteAB + "/data.zip"), Decide(kList, siteAB + "/data.zip"));
  EXPECT_EQ(PathRefusal("List", siteA_ + ".zip"), Decide(kList, siteA_ + ".zip"));
  // Disk paths are case-sensitive: "A" is not the box folder "a".
  const std::string upper = install_.root() + "/sites/A/data.zip";
  EXPECT_EQ(PathRefusal("List", upper), Decide(kList, upper));
  EXPECT_EQ("Invalid path specified", Decide(kList, siteA_ + "/../ab/data.zip"));
  EXPECT_EQ("Invalid path specified", Decide(kList, siteA_ + "/..data.zip"));
  // Too short to lie in the folder: refused as outside before the parent-step rule.
  EXPECT_EQ(PathRefusal("List", "../x.zip"), Decide(kList, "../x.zip"));
  EXPECT_EQ(PathRefusal("List", "data.zip"), Decide(kList, "data.zip"));
  EXPECT_EQ(PathRefusal("List", "/a/../b.zip"), Decide(kList, "/a/../b.zip"));
}

TEST_F(SecurityBoxTest, SpacesAroundThePathLineEqualsSignKeepTheBoxClosed) {
  // The line matches (its folder is trimmed for the match), but the box name keeps its
  // trailing space, so [Security] names no such box.
  install_.WriteStandardPolicy("All");
  install_.WriteWebSiteIni("[Path]\nSiteA = " + siteA_ + "\n[Security]\nSiteA=Brevik\n" +
                           "[SiteA]\nBrevik=All\n");
  HostingRequest request = Request(kList, siteA_ + "/data.zip");
  EXPECT_EQ(kComponentRefusal, Decide(request));
  EXPECT_EQ(" " + siteA_, request.requestPath);
}

TEST_F(SecurityBoxTest, CgiRequestAndChangesTakeEffectAtTheNextCall) {
  RemovePageRequest();
  HostingScopedEnv gateway("GATEWAY_INTERFACE", "CGI/1.1");
  HostingScopedEnv page("SCRIPT_FILENAME", siteA_ + "/page.cgi");
  install_.WriteStandardPolicy("List");
  const std::string zip = siteA_ + "/data.zip";
  EXPECT_EQ("", Decide(kList, zip));
  EXPECT_EQ(MethodRefusal("Delete"), Decide(kDelete, zip));
  install_.WriteStandardPolicy("List, Delete");
  EXPECT_EQ("", Decide(kDelete, zip));
  install_.WriteRegistryValues(install_.installFolder(), 0);
  EXPECT_EQ("", Decide(kZip, install_.root() + "/anywhere.zip"));
}

TEST_F(SecurityBoxTest, PathsAreJudgedByWhatTheyResolveToAndUsedSo) {
  install_.WriteStandardPolicy("All");
  const std::string siteB = install_.SiteFolder("b");
  std::filesystem::create_directory(siteA_ + "/real");
  std::filesystem::create_directory_symlink(siteB, siteA_ + "/to-b");
  std::filesystem::create_directory_symlink(siteA_ + "/real", siteA_ + "/to-real");
  std::filesystem::create_symlink(siteB + "/new.zip", siteA_ + "/dangling.zip");

  // A link inside the box that leads into another box does not pass, whether what it leads to
  // exists yet or not (an archive about to be made through a dangling link lands where it points).
  EXPECT_EQ(PathRefusal("List", siteA_ + "/to-b/data.zip"), Decide(kList, siteA_ + "/to-b/data.zip"));
  EXPECT_EQ(PathRefusal("Zip", siteA_ + "/dangling.zip"), Decide(kZip, siteA_ + "/dangling.zip"));
  HostingRequest request = Request(kUnZip, siteA_ + "/data.zip");
  request.targetPath = siteA_ + "/to-b";
  EXPECT_EQ(PathRefusal("UnZip", siteA_ + "/to-b"), Decide(request));

  // A link that stays inside passes, and the operation is handed the path it resolves to.
  request = Request(kZip, siteA_ + "/to-real/new.zip");
  request.files = {siteA_ + "/to-real/one"};
  request.folders = {siteA_ + "/to-real"};
  EXPECT_EQ("", Decide(request));
  EXPECT_EQ(siteA_ + "/real/new.zip", request.zipFile);
  EXPECT_EQ(std::vector<std::string>{siteA_ + "/real/one"}, request.files);
  EXPECT_EQ(std::vector<std::string>{siteA_ + "/real"}, request.folders);

  // A box named through a link holds what lies under the link's target.
  std::filesystem::create_directory_symlink(siteA_, install_.root() + "/sites/alias");
  const std::string alias = install_.root() + "/sites/alias";
  install_.WriteWebSiteIni("[Path]\nSiteA=" + alias + "\n[Security]\nSiteA=Brevik\n[SiteA]\nBrevik=All\n");
  page_.Set("SCRIPT_FILENAME", alias + "/page.cgi");
  EXPECT_EQ("", Decide(kList, alias + "/data.zip"));
  EXPECT_EQ(PathRefusal("List", alias + "/to-b/data.zip"), Decide(kList, alias + "/to-b/data.zip"));
}
