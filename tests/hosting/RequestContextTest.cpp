// RequestContextTest.cpp -- finding the page request and its path, and the parent-step rule.
#include "hosting/RequestContext.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "hosting/MappedPageRequest.h"
#include "hosting/ScopedPageRequest.h"
#include "support/HostingPolicyInstall.h"

using brevik::test::HostingScopedEnv;

TEST(RequestContext, CgiPageIsTheScriptTheServerRunsNeverTheTranslatedPathInfo) {
  HostingScopedEnv gateway("GATEWAY_INTERFACE", "CGI/1.1");
  HostingScopedEnv script("SCRIPT_FILENAME", "/srv/sites/a/index.cgi");
  // A request with extra path: the server maps the visitor's PATH_INFO onto the document root.
  HostingScopedEnv translated("PATH_TRANSLATED", "/srv/sites/b/x");
  ASSERT_NE(nullptr, GetRequestObject());
  std::string path = "old";
  EXPECT_TRUE(GetPagePhysicalPath(path));
  EXPECT_EQ("/srv/sites/a/index.cgi", path);
  {
    // No script named: no page path, and the translated path is not taken in its place.
    HostingScopedEnv noScript("SCRIPT_FILENAME", std::nullopt);
    EXPECT_TRUE(GetPagePhysicalPath(path));
    EXPECT_EQ("", path);
  }
}

TEST(RequestContext, AnInstalledRequestWithoutAPageIsNoRequest) {
  struct ScriptlessRequest : PageRequest {
    std::optional<std::string> PagePhysicalPath() const override { return std::nullopt; }
  } scriptless;
  ScopedPageRequest installed(scriptless);
  std::string path;
  EXPECT_FALSE(GetPagePhysicalPath(path));
  EXPECT_EQ("No page request is available to this component\n", path);
}

TEST(RequestContext, WithoutARequestThePathIsTheFailureText) {
  HostingScopedEnv gateway("GATEWAY_INTERFACE", std::nullopt);
  // SCRIPT_FILENAME alone is no request: only a CGI server sets GATEWAY_INTERFACE.
  HostingScopedEnv page("SCRIPT_FILENAME", "/srv/sites/a/index.cgi");
  EXPECT_EQ(nullptr, GetRequestObject());
  std::string path;
  EXPECT_FALSE(GetPagePhysicalPath(path));
  EXPECT_EQ("No page request is available to this component\n", path);
}

TEST(RequestContext, InstalledRequestWinsNestsAndStaysOnItsThread) {
  HostingScopedEnv gateway("GATEWAY_INTERFACE", "CGI/1.1");
  HostingScopedEnv page("SCRIPT_FILENAME", "/from/environment");
  MappedPageRequest outer;
  outer.Set("SCRIPT_FILENAME", "/from/outer");
  MappedPageRequest inner;  // carries no SCRIPT_FILENAME
  std::string path;
  {
    ScopedPageRequest installOuter(outer);
    EXPECT_EQ(&outer, GetRequestObject());
    EXPECT_TRUE(GetPagePhysicalPath(path));
    EXPECT_EQ("/from/outer", path);
    {
      ScopedPageRequest installInner(inner);
      EXPECT_TRUE(GetPagePhysicalPath(path));
      EXPECT_EQ("", path);
    }
    EXPECT_TRUE(GetPagePhysicalPath(path));
    EXPECT_EQ("/from/outer", path);

    std::string otherThreadPath;
    std::thread other([&] { GetPagePhysicalPath(otherThreadPath); });
    other.join();
    EXPECT_EQ("/from/environment", otherThreadPath);
  }
  EXPECT_TRUE(GetPagePhysicalPath(path));
  EXPECT_EQ("/from/environment", path);
}

TEST(RequestContext, ParentStepsAreRefusedWithEitherSeparator) {
  HostingRequest request;
  request.errorReason = "earlier";
  for (const char* passes : {"", "/srv/a/x.zip", "../x.zip", "..", "/srv/a./b", "/srv/a/.x",
                             "C:\\Sites\\A\\x.zip", "/srv/a/b..c/x.zip"}) {
    EXPECT_TRUE(CheckNoParentStep(passes, request)) << passes;
    EXPECT_EQ("earlier", request.errorReason) << passes;
  }
  for (const char* refused : {"/srv/a/../b/x.zip", "/srv/a/..", "/srv/a/..data/x.zip",
                              "C:\\Sites\\A\\..\\B\\x.zip", "C:\\Sites\\A\\..data\\x.zip",
                              "/srv/a\\../x"}) {
    request.errorReason = "earlier";
    EXPECT_FALSE(CheckNoParentStep(refused, request)) << refused;
    EXPECT_EQ("Invalid path specified", request.errorReason) << refused;
  }
}
