// ZipOperationsTestHelpers.h -- requests, peer look-ups and Zip calls in a child, shared by the archive operation tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "scripting/CZipNow.h"
#include "scripting/ZipRequest.h"
#include "support/ArchivePeers.h"
#include "support/Shell.h"

namespace brevik::test {

/// A request as a fresh ZIP object holds it, for `operation` on `zipFile`.
inline ZipRequest RequestFor(ZipOperation operation, const std::string& zipFile, const std::string& targetPath = {}) {
  ZipRequest request;
  request.operation = operation;
  request.zipFile = zipFile;
  request.targetPath = targetPath;
  return request;
}

/// Runs the Zip of `request` in a child (started by `runner`, limited by `limit`) and hands back its
/// result text through `resultFile`; a child that failed gives a text saying so, and a failure.
inline std::string ZipInChild(const ZipRequest& request, const std::string& resultFile,
                              int (*runner)(const std::function<int()>&, unsigned long long), unsigned long long limit) {
  const int status = runner(
      [&] {
        try {
          WriteFileBytes(resultFile, CZipNow().Zip(request));
        } catch (...) {
          return 3;
        }
        return 0;
      },
      limit);
  EXPECT_EQ(status, 0);
  return status == 0 ? ReadFileBytes(resultFile) : "child failed with status " + std::to_string(status);
}

/// Runners for ZipInChild: under a file size limit of `limit` bytes, or as user nobody.
inline int WithFileSizeLimit(const std::function<int()>& body, unsigned long long limit) {
  return RunWithFileSizeLimit(limit, body);
}
inline int AsNobody(const std::function<int()>& body, unsigned long long) { return RunAsUnprivileged(body); }

/// The entry names of `archive` in directory order, as Python's zipfile reads them; one
/// "ERROR: ..." item when it cannot read the archive.
inline std::vector<std::string> PeerEntryNames(const std::string& archive) {
  const CommandResult listed = RunCommand(
      "python3 -c 'import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename)' " +
      ShellQuote(archive));
  if (listed.exitStatus != 0) return {"ERROR: " + listed.output};
  std::vector<std::string> names;
  std::string::size_type start = 0;
  while (start < listed.output.size()) {
    const std::string::size_type end = listed.output.find('\n', start);
    names.push_back(listed.output.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return names;
}

/// The bytes of entry `name` as Python's zipfile extracts them (with `password` when not
/// empty); "ERROR: ..." when it cannot.
inline std::string PeerEntryBytes(const std::string& archive, const std::string& name, const std::string& password = {}) {
  const CommandResult read = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
      "pw=sys.argv[3].encode() if sys.argv[3] else None\nsys.stdout.buffer.write(z.read(sys.argv[2],pwd=pw))' " +
      ShellQuote(archive) + " " + ShellQuote(name) + " " + ShellQuote(password.empty() ? "" : password));
  return read.exitStatus == 0 ? read.output : "ERROR: " + read.output;
}

/// Writes an archive with Python's zipfile: each item is a name and its bytes (a name ending in
/// "/" makes a folder entry), deflated. The bytes pass through files, so any byte value is fine.
inline void WritePeerArchive(const std::string& archive, const std::vector<std::pair<std::string, std::string>>& items) {
  std::string script = "import sys,zipfile,warnings\nwarnings.simplefilter('ignore')\n"
                       "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                       "for i in range(2,len(sys.argv),2): z.writestr(sys.argv[i],open(sys.argv[i+1],'rb').read())\n"
                       "z.close()\n";
  std::string arguments;
  std::vector<std::string> itemFiles;
  for (const auto& [name, bytes] : items) {
    itemFiles.push_back(archive + ".item" + std::to_string(itemFiles.size()));
    WriteFileBytes(itemFiles.back(), bytes);
    arguments += " " + ShellQuote(name) + " " + ShellQuote(itemFiles.back());
  }
  const CommandResult written = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive) + arguments);
  for (const std::string& file : itemFiles) std::remove(file.c_str());
  ASSERT_EQ(written.exitStatus, 0) << written.output;
}

/// Equality of two byte strings that reports only their sizes and the first difference, not
/// their whole contents.
inline ::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::string::size_type at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at " << at << ": "
                                       << actual.substr(at, 60);
}

}  // namespace brevik::test
