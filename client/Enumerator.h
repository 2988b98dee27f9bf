// Enumerator.h -- a for-each walk over a collection's IEnumVARIANT.
#pragma once

#include <thread>

#include "client/VariantValue.h"
#include "frame/automation/ComPtr.h"
#include "frame/automation/IEnumVARIANT.h"

/// Owns one enumerator reference and hands out the collection's items one at a time. Like the
/// object it came from, it belongs to the thread that made it (RPC_E_WRONG_THREAD elsewhere).
class Enumerator {
public:
  explicit Enumerator(ComPtr<IEnumVARIANT> enumerator) noexcept;

  /// The next item into `item` (replacing what it held); false when the walk is over.
  bool Next(VariantValue& item);
  /// Back to the first item.
  void Reset();
  /// Passes over `count` items; false when fewer than that were left.
  bool Skip(unsigned long count);

private:
  void CheckCallable(const char* member) const;

  ComPtr<IEnumVARIANT> enumerator_;
  std::thread::id owner_;
};
