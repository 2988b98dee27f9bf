// ZipZlibAllocator.cpp -- zlib allocation functions that track their blocks, so none can leak.
#include "engine/ZipZlibAllocator.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

voidpf ZipZlibAlloc(voidpf opaque, uInt items, uInt size) {
  if (size != 0 && items > std::numeric_limits<std::size_t>::max() / size) return Z_NULL;
  void* block = std::malloc(static_cast<std::size_t>(items) * size);
  if (block == nullptr) return Z_NULL;
  if (opaque != nullptr) {
    try {
      static_cast<ZipZlibBlockList*>(opaque)->push_back(block);
    } catch (const std::bad_alloc&) {
      std::free(block);  // zlib reports Z_MEM_ERROR for a null block
      return Z_NULL;
    }
  }
  return block;
}

void ZipZlibFree(voidpf opaque, voidpf address) {
  if (opaque != nullptr) {
    auto& blocks = *static_cast<ZipZlibBlockList*>(opaque);
    // zlib frees the most recent blocks first when it ends a stream.
    auto found = std::find(blocks.rbegin(), blocks.rend(), address);
    if (found != blocks.rend()) blocks.erase(std::next(found).base());
  }
  std::free(address);
}

void ZipZlibFreeAll(ZipZlibBlockList& blocks) {
  for (void* block : blocks) std::free(block);
  blocks.clear();
}
