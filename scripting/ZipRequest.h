// ZipRequest.h -- the ZIP object's settings and queues, handed to the operation classes.
#pragma once

#include <cstdint>
#include <string>

#include "hosting/TextList.h"

/// Which archive method is running; 32-bit signed.
enum ZipOperation : int32_t {
  OpNone = -1,
  OpZip = 0,
  OpUnZip = 1,
  OpList = 2,
  OpExtract = 3,
  OpDelete = 4,
};

/// What a script set on one ZIP object. All text is UTF-8. The operation classes receive it by
/// const reference and never change it; only the ZIP object writes it.
struct ZipRequest {
  ZipOperation operation = OpNone;  ///< the method last started
  int32_t createNew = 1;            ///< nonzero: Zip always creates a new archive
  int32_t usePath = 1;              ///< nonzero: Zip stores paths
  int32_t subFolders = 1;           ///< nonzero: Zip descends into subfolders
  int32_t overwrite = 1;            ///< 0 exactly when NameConflict was last "MAKEUNIQUE"
  std::string password;             ///< empty: no password
  int32_t encryption = 0;           ///< Encryption: 0 ZipCrypto, 1-3 AES with 128, 192, 256-bit keys
  std::string zipFile;              ///< archive path; trimmed in place when a method runs
  std::string targetPath;           ///< folder that UnZip and Extract write into
  TextList files;                   ///< Add's queue: files for Zip, entry names otherwise
  TextList folders;                 ///< AddFolder's queue, used by Zip only
};
