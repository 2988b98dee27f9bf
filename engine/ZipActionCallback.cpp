// ZipActionCallback.cpp -- the callback registry: registration by kind bits, fetch with the kind set.
#include "engine/ZipActionCallback.h"

void CZipClbckStrg::SetCallback(CZipActionCallback* callback, int kinds) {
  for (int kind = cbAddFile; kind <= cbReplaceMove; kind <<= 1) {
    if ((kinds & kind) == 0) continue;
    if (callback != nullptr) {
      callbacks_[kind] = callback;
    } else {
      callbacks_.erase(kind);
    }
  }
  if (callbacks_.empty()) CZipMap<int, CZipActionCallback*>().swap(callbacks_);
}

CZipActionCallback* CZipClbckStrg::GetCallback(CallbackType kind) {
  const auto found = callbacks_.find(kind);
  if (found == callbacks_.end()) return nullptr;
  found->second->type_ = kind;
  return found->second;
}
