// ZipActionCallback.h -- progress callbacks (CZipActionCallback) and their registry by kind.
#pragma once

#include <cstdint>

#include "engine/ZipContainers.h"

/// The kinds of long actions that report progress, one bit each.
enum CallbackType : int {
  cbNothing = 0x0,
  cbAddFile = 0x1,         ///< AddFile: Begin(stored name, source path), SetTotal(file size)
  cbCopyFromTemp = 0x2,    ///< copying a packed entry from a temporary archive
  cbStoreAgain = 0x4,      ///< AddFile's second, stored attempt
  cbExtract = 0x8,         ///< ExtractEntry: Begin(stored name, target path)
  cbDeleteScan = 0x10,     ///< DeleteEntries collecting the entries
  cbDeleteMove = 0x20,     ///< DeleteEntries moving data
  cbSaveDirectory = 0x80,  ///< writing the central directory
  cbReplaceMove = 0x400,   ///< making room for a replaced entry
  cbAll = 0x7FF,           ///< every registrable bit, 0x1 to 0x400
};

/// Implemented by the caller to follow and stop a long action. The engine sets the kind field
/// each time it takes the object from the registry, so one object registered for several kinds
/// can tell them apart.
class CZipActionCallback {
public:
  virtual ~CZipActionCallback() = default;
  /// The action starts; either argument may be null (the delete actions pass none).
  virtual void Begin(const char* entryName, const char* path) = 0;
  /// The amount the following steps add up to.
  virtual void SetTotal(std::uint32_t total) = 0;
  /// The action has ended (also when stopped).
  virtual void End() = 0;
  /// `amount` more has been done; false asks the action to stop.
  virtual bool Step(std::uint32_t amount) = 0;

  /// The kind for which the object was last fetched with `CZipClbckStrg::GetCallback`.
  CallbackType GetType() const noexcept { return type_; }

private:
  friend class CZipClbckStrg;
  CallbackType type_ = cbNothing;
};

/// The registry of callbacks by kind. It does not own the callbacks.
class CZipClbckStrg {
public:
  /// For each of the eleven bits 0x1 to 0x400 set in `kinds`: registers `callback` for that
  /// kind, or removes the kind's registration when `callback` is null.
  void SetCallback(CZipActionCallback* callback, int kinds);
  /// The callback registered for `kind` with its kind field set to `kind`, or null.
  CZipActionCallback* GetCallback(CallbackType kind);

private:
  CZipMap<int, CZipActionCallback*> callbacks_;
};
