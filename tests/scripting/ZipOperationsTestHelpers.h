// ZipOperationsTestHelpers.h -- requests and peer look-ups shared by the archive operation tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scripting/ZipRequest.h"
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
/// "/" makes a folder entry), deflated.
inline void WritePeerArchive(const std::string& archive, const std::vector<std::pair<std::string, std::string>>& items) {
  std::string script = "import sys,zipfile,warnings\nwarnings.simplefilter('ignore')\n"
                       "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n";
  std::string arguments;
  int n = 2;
  for (const auto& [name, bytes] : items) {
    script += "z.writestr(sys.argv[" + std::to_string(n) + "],sys.argv[" + std::to_string(n + 1) + "])\n";
    arguments += " " + ShellQuote(name) + " " + ShellQuote(bytes);
    n += 2;
  }
  script += "z.close()\n";
  const CommandResult written = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive) + arguments);
  ASSERT_EQ(written.exitStatus, 0) << written.output;
}

}  // namespace brevik::test
