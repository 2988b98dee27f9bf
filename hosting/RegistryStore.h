// RegistryStore.h -- the registry file: locked reads, atomic locked updates, single-value calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "hosting/RegistryResult.h"
#include "hosting/RegistryTree.h"
#include "hosting/RegistryValue.h"

/// The registry kept as one REGEDIT4 text file (see RegistryTree for the format).
///
/// Readers take a shared flock on the file and read it whole; writers take an exclusive flock,
/// read, change, write a temporary file in the same folder, fsync it, rename it over the file and
/// fsync the folder, so a reader sees either the old or the new file, never half of one. A writer
/// that finds the file replaced while it waited for the lock starts over on the new file, so two
/// writers never lose each other's changes. A missing file is an empty registry; a writer creates
/// it (and its folder). A damaged file gives EBADMSG to readers and writers alike, and writers
/// then leave it untouched. No call throws for an ordinary failure; out of memory is
/// std::bad_alloc. Instances hold only the path and may be used from any thread.
class RegistryStore {
public:
  /// The store at DefaultPath().
  RegistryStore();
  /// The store at `filePath`.
  explicit RegistryStore(std::string filePath);

  /// $BREVIK_REGISTRY when set and not empty, else "/etc/brevik/registry.reg".
  static std::string DefaultPath();

  /// The file this store reads and writes.
  const std::string& path() const { return path_; }

  /// Reads the whole registry into `tree` under a shared lock.
  RegistryResult Read(RegistryTree& tree) const;

  /// One atomic change: under the exclusive lock, reads the registry, calls `edit` on it, and
  /// when `edit` succeeds writes the result back. A failing `edit` leaves the file as it was
  /// and its result is returned.
  RegistryResult Update(const std::function<RegistryResult(RegistryTree&)>& edit) const;

  /// 0 when the key exists, else ENOENT (or the failure of reading the file).
  RegistryResult KeyExists(const std::string& keyPath) const;

  /// Copies the value `valueName` ("" for the default value) of the key at `keyPath` into
  /// `value`. ENOENT when the key or the value does not exist.
  RegistryResult QueryValue(const std::string& keyPath, const std::string& valueName,
                            RegistryValue& value) const;

  /// Creates the key at `keyPath` and every missing key above it; an existing key is kept.
  RegistryResult CreateKey(const std::string& keyPath) const;
  /// Sets a text value (type kRegSz), creating the key as needed. EINVAL for a zero byte in
  /// `text`, which a registry text cannot hold.
  RegistryResult SetStringValue(const std::string& keyPath, const std::string& valueName,
                                const std::string& text) const;
  /// Sets a number value (type kRegDword), creating the key as needed.
  RegistryResult SetDwordValue(const std::string& keyPath, const std::string& valueName,
                               uint32_t number) const;
  /// Removes one value. ENOENT when the key or the value does not exist.
  RegistryResult DeleteValue(const std::string& keyPath, const std::string& valueName) const;
  /// Removes a key with all its sub keys. ENOENT when it does not exist.
  RegistryResult DeleteKey(const std::string& keyPath) const;

private:
  /// Creates the key as needed and sets one value in it, replacing a value of that name.
  RegistryResult SetValue(const std::string& keyPath, RegistryValue value) const;
  /// Update on the file at `filePath` (the store's file with any symbolic link resolved).
  RegistryResult UpdateFile(const std::string& filePath,
                            const std::function<RegistryResult(RegistryTree&)>& edit) const;

  std::string path_;
};
