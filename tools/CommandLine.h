// CommandLine.h -- what the user asked the brevik command to do, parsed from its arguments.
#pragma once

#include <string>
#include <vector>

/// Where the password comes from; never the command line itself, which other users can read in
/// the process table.
enum class PasswordSource { None, File, Environment, Terminal };

/// One parsed invocation. Paths are as typed; `ParseCommandLine` does not touch the file system.
struct CommandLine {
  std::string subcommand;  ///< "zip", "unzip", "list", "extract", "delete", "repair", "register", "unregister"; "" with --help/--version alone
  bool help = false;       ///< --help: print the usage of `subcommand` (or of the command) and exit 0
  bool version = false;    ///< --version: print the library's version and exit 0
  std::string archive;     ///< ARCHIVE
  std::string target;      ///< -d TARGET (unzip, extract)
  bool append = false;     ///< zip --append: CreateNew 0
  bool noPaths = false;    ///< zip --no-paths: UsePath 0
  bool noRecurse = false;  ///< zip --no-recurse: SubFolders 0
  std::string encryption;  ///< zip --encryption: the Encryption property ("" leaves the default)
  bool makeUnique = false; ///< unzip --make-unique: NameConflict "MAKEUNIQUE"
  bool json = false;       ///< list, unzip --json
  bool quiet = false;      ///< unzip --quiet: no line per entry
  bool verbose = false;    ///< list -v/--verbose: compressed size, method, date and time, CRC
  PasswordSource passwordSource = PasswordSource::None;
  std::string passwordArgument;      ///< the FILE of --password-file or the VAR of --password-env
  std::vector<std::string> operands; ///< PATH... for zip, NAME... for extract and delete
};

/// Parses argv[1..]. Options may come before, between or after the operands; "--" ends the
/// options, so that a name starting with "-" can be given. On a usage error returns false and sets
/// `error` to a one-line explanation (without the program name); the caller exits with status 2.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& command, std::string& error);

/// The --help text of `subcommand`, or of the whole command for "" or an unknown name.
std::string UsageText(const std::string& subcommand);
