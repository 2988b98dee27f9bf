// ZipZlibAllocator.h -- zlib allocation functions that track their blocks, so none can leak.
#pragma once

#include "engine/ZipContainers.h"

#include <zlib.h>

/// The blocks handed to zlib and not yet returned. A list because zlib frees its blocks in any
/// order and holds only a handful (five or so for deflate) at a time.
using ZipZlibBlockList = CZipPtrList<void*>;

/// zlib's `alloc_func`: `items` times `size` bytes from the ordinary allocator, or null when that
/// fails or the product overflows. When `opaque` is not null it is a `ZipZlibBlockList` and the
/// block is appended to it.
voidpf ZipZlibAlloc(voidpf opaque, uInt items, uInt size);

/// zlib's `free_func`: removes `address` from the list `opaque` (when not null) and frees it.
void ZipZlibFree(voidpf opaque, voidpf address);

/// Frees every block still listed and empties the list: called whenever an entry is closed, so a
/// zlib stream that was never ended (after an error) leaves nothing behind.
void ZipZlibFreeAll(ZipZlibBlockList& blocks);
