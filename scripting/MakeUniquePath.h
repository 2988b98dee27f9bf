// MakeUniquePath.h -- the first free variant of a file path, for extraction without overwriting.
#pragma once

#include <string>
#include <unordered_map>

/// Unique names for the entries of one extraction. `Make(path)` returns `path` unchanged when
/// nothing of that exact name exists (no file, folder, or symbolic link, dangling or not).
/// Otherwise the file name (the part after the last "/") is split at its first "." into base and
/// extension, and the result is the first of folder + "/" + base + k + "." + extension, k = 0, 1,
/// 2, ..., that names nothing: report.txt -> report0.txt, data.tar.gz -> data0.tar.gz, README ->
/// README0., .profile -> 0.profile. Only the file name changes. A path ending in "/" names a
/// folder that an entry merges into and is returned unchanged.
///
/// It remembers, per folder, base and extension, the number after the last one it handed out
/// and starts there next time: the numbers below it were all taken, and nothing an extraction
/// does frees one, so the names are those a search from 0 would find, at a constant cost per
/// entry instead of one that grows with every entry of the same name. Never throws except
/// std::bad_alloc.
class UniquePathMaker {
public:
  std::string Make(const std::string& path);

private:
  std::unordered_map<std::string, unsigned long long> nextNumber_;
};

/// `UniquePathMaker().Make(path)`: for a single path, with nothing remembered.
std::string MakeUniquePath(const std::string& path);
