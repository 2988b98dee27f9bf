// CommandLine.cpp -- parsing the brevik command's arguments and its help texts.
#include "tools/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::array<const char*, 8> kSubcommands = {"zip",      "unzip",      "list",  "extract", "delete",
                                                     "register", "unregister", "repair"};

const char* const kPasswordHelp =
    "PASSWORD is one of:\n"
    "  --password-file FILE   the first line of FILE\n"
    "  --password-env VAR     the value of the environment variable VAR\n"
    "  --ask-password         asked on the terminal, without echo\n"
    "A password is never taken from the command line itself.\n";

bool IsSubcommand(const std::string& word) {
  return std::find(kSubcommands.begin(), kSubcommands.end(), word) != kSubcommands.end();
}

// Which options each subcommand accepts; anything else is a usage error rather than ignored,
// so that a mistyped --apend does not silently replace an archive.
bool Accepts(const std::string& subcommand, const std::string& option) {
  const bool password = option == "--password-file" || option == "--password-env" || option == "--ask-password";
  if (subcommand == "zip")
    return password || option == "--append" || option == "--no-paths" || option == "--no-recurse" ||
           option == "--encryption";
  if (subcommand == "unzip")
    return password || option == "-d" || option == "--make-unique" || option == "--json" || option == "--quiet";
  if (subcommand == "list") return option == "--json" || option == "-v" || option == "--verbose";
  if (subcommand == "extract") return password || option == "-d";
  return false;
}

bool SetPasswordSource(CommandLine& command, PasswordSource source, std::string argument, std::string& error) {
  if (command.passwordSource != PasswordSource::None) {
    error = "only one of --password-file, --password-env and --ask-password may be given";
    return false;
  }
  command.passwordSource = source;
  command.passwordArgument = std::move(argument);
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& command, std::string& error) {
  command = CommandLine{};
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
      if (command.subcommand.empty()) {
        if (!IsSubcommand(word)) {
          error = "unknown command '" + word + "'";
          return false;
        }
        command.subcommand = word;
      } else {
        positional.push_back(word);
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      command.help = true;
      continue;
    }
    if (word == "--version" && command.subcommand.empty()) {
      command.version = true;
      continue;
    }
    if (command.subcommand.empty()) {
      error = "unknown option '" + word + "' (give a command first)";
      return false;
    }
    if (!Accepts(command.subcommand, word)) {
      error = "'" + command.subcommand + "' does not take the option '" + word + "'";
      return false;
    }
    const bool takesValue =
        word == "-d" || word == "--password-file" || word == "--password-env" || word == "--encryption";
    if (takesValue && i + 1 >= arguments.size()) {
      error = "the option '" + word + "' needs a value";
      return false;
    }
    if (word == "-d") {
      if (!command.target.empty()) {
        error = "the option '-d' may be given only once";
        return false;
      }
      command.target = arguments[++i];
      if (command.target.empty()) {
        error = "the target folder of '-d' is empty";
        return false;
      }
    } else if (word == "--password-file") {
      if (!SetPasswordSource(command, PasswordSource::File, arguments[++i], error)) return false;
    } else if (word == "--password-env") {
      if (!SetPasswordSource(command, PasswordSource::Environment, arguments[++i], error)) return false;
    } else if (word == "--ask-password") {
      if (!SetPasswordSource(command, PasswordSource::Terminal, "", error)) return false;
    } else if (word == "--encryption") {
      std::string cipher = arguments[++i];
      for (char& c : cipher) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (cipher != "aes256" && cipher != "aes192" && cipher != "aes128" && cipher != "zipcrypto") {
        error = "the option '--encryption' takes aes256, aes192, aes128 or zipcrypto, not '" + arguments[i] + "'";
        return false;
      }
      command.encryption = cipher;
    } else if (word == "--append") {
      command.append = true;
    } else if (word == "--no-paths") {
      command.noPaths = true;
    } else if (word == "--no-recurse") {
      command.noRecurse = true;
    } else if (word == "--make-unique") {
      command.makeUnique = true;
    } else if (word == "--json") {
      command.json = true;
    } else if (word == "-v" || word == "--verbose") {
      command.verbose = true;
    } else if (word == "--quiet") {
      command.quiet = true;
    }
  }

  if (command.help || command.version) return true;
  if (command.subcommand.empty()) {
    error = "no command given";
    return false;
  }
  const std::string& sub = command.subcommand;
  if (sub == "register" || sub == "unregister") {
    if (!positional.empty()) {
      error = "'" + sub + "' takes no operands";
      return false;
    }
    return true;
  }
  if (positional.empty() || positional.front().empty()) {
    error = "'" + sub + "' needs an ARCHIVE";
    return false;
  }
  command.archive = positional.front();
  command.operands.assign(positional.begin() + 1, positional.end());
  if ((sub == "unzip" || sub == "extract") && command.target.empty()) {
    error = "'" + sub + "' needs a target folder: -d TARGET";
    return false;
  }
  if ((sub == "unzip" || sub == "list" || sub == "repair") && !command.operands.empty()) {
    error = "'" + sub + "' takes only an ARCHIVE, not '" + command.operands.front() + "'";
    return false;
  }
  if (sub == "zip" && command.operands.empty()) {
    error = "'zip' needs at least one PATH to add";
    return false;
  }
  if ((sub == "extract" || sub == "delete") && command.operands.empty()) {
    error = "'" + sub + "' needs at least one entry NAME";
    return false;
  }
  return true;
}

std::string UsageText(const std::string& subcommand) {
  if (subcommand == "zip")
    return std::string(
               "Usage: brevik zip ARCHIVE [--append] [--no-paths] [--no-recurse] [--encryption CIPHER] [PASSWORD] PATH...\n"
               "Writes the files and folders PATH... into ARCHIVE, replacing it unless --append is given.\n"
               "  --append       keep the archive's entries and add after them (creates it when missing)\n"
               "  --no-paths     store files under their bare names and folder contents relative to the folder\n"
               "  --no-recurse   take only the files directly inside each folder\n"
               "  --encryption CIPHER  with a password: aes256, aes192 or aes128 (WinZip AES), or\n"
               "                 zipcrypto, the traditional cipher every reader opens (the default)\n") +
           kPasswordHelp;
  if (subcommand == "unzip")
    return std::string(
               "Usage: brevik unzip ARCHIVE -d TARGET [--make-unique] [--json] [--quiet] [PASSWORD]\n"
               "Extracts every entry of ARCHIVE into the folder TARGET (made, with its parents, when missing)\n"
               "and prints where each went, in the archive's order.\n"
               "  --make-unique  keep existing files: write report.txt as report0.txt, report1.txt, ...\n"
               "  --json         print one JSON array of the entries instead of their names\n"
               "  --quiet        print no line per entry\n"
               "Entries that could not be extracted are named on standard error, and the status is then 1.\n") +
           kPasswordHelp;
  if (subcommand == "list")
    return "Usage: brevik list ARCHIVE [-v] [--json]\n"
           "Lists the entries of ARCHIVE in the archive's order: type, size, whether encrypted, name.\n"
           "  -v, --verbose  also the compressed size, method, saving, date and time, and CRC-32\n"
           "  --json         one JSON array of objects with Name, Type, Size, SavedName, PasswordRequired,\n"
           "                 ErrorReason\n"
           "                 (with -v also CompressedSize, Method, Modified, CRC32)\n";
  if (subcommand == "extract")
    return std::string(
               "Usage: brevik extract ARCHIVE -d TARGET [PASSWORD] NAME...\n"
               "Extracts the entries named NAME... (case and surrounding blanks ignored) into the folder\n"
               "TARGET (made when missing), replacing files of the same name. Names that match nothing are\n"
               "not an error.\n") +
           kPasswordHelp;
  if (subcommand == "delete")
    return "Usage: brevik delete ARCHIVE NAME...\n"
           "Removes the entries named NAME... (case and surrounding blanks ignored) from ARCHIVE.\n";
  if (subcommand == "repair")
    return "Usage: brevik repair ARCHIVE\n"
           "Rebuilds the central directory of ARCHIVE from its local headers and data descriptors, after a\n"
           "write that was cut off or a damaged directory (as zip -FF does). Every entry whose data is whole\n"
           "and checks out is kept; each is printed, and each local header dropped with the reason. The new\n"
           "directory is written at the end of the file; no other byte of it changes.\n";
  if (subcommand == "register" || subcommand == "unregister")
    return "Usage: brevik register | brevik unregister\n"
           "Writes or removes the component's registration (the file $BREVIK_REGISTRY, else\n"
           "/etc/brevik/registry.reg), as regsvr32 does on Windows.\n";
  return std::string(
             "Usage: brevik COMMAND ...\n"
             "  brevik zip ARCHIVE [--append] [--no-paths] [--no-recurse] [--encryption CIPHER] [PASSWORD] PATH...\n"
             "  brevik unzip ARCHIVE -d TARGET [--make-unique] [--json] [--quiet] [PASSWORD]\n"
             "  brevik list ARCHIVE [-v] [--json]\n"
             "  brevik extract ARCHIVE -d TARGET [PASSWORD] NAME...\n"
             "  brevik delete ARCHIVE NAME...\n"
             "  brevik repair ARCHIVE\n"
             "  brevik register | unregister\n"
             "  brevik --version\n") +
         kPasswordHelp +
         "On a terminal, zip, unzip and extract show their progress on one line once they run longer than\n"
         "a second; Ctrl-C stops them cleanly (the archive keeps its finished entries, a file cut off is\n"
         "removed).\n"
         "Run 'brevik COMMAND --help' for one command. Exit status: 0 done, 1 the operation failed\n"
         "(the reason is on standard error), 2 the command line was wrong, 130 stopped by Ctrl-C.\n";
}
