// ProfileFunctions.h -- the two INI-file reads of the Windows profile API, over IniDocument.
#pragma once

#include <cstdint>

/// Copies the lines of the first section called `sectionName` (without regard to case) from the
/// INI file `fileName` into `returned` as a run of zero-terminated lines ended by one more zero
/// byte. Returns the number of bytes written, not counting that final zero. When the lines do
/// not fit into `size` bytes they are cut, the buffer still ends in two zero bytes, and the
/// result is exactly `size` - 2: the caller's sign to retry with a larger buffer (a section that
/// needs exactly `size` - 1 bytes gives the same answer). A missing file or section gives 0 and
/// an empty run. `size` 0 writes nothing; `size` 1 writes one zero byte; both give 0.
uint32_t GetPrivateProfileSectionA(const char* sectionName, char* returned, uint32_t size,
                                   const char* fileName);

/// Copies the value of the first key `keyName` of the first section `sectionName` (both
/// without regard to case) from the INI file `fileName` into `returned`, zero-terminated, and
/// returns its length. The value is trimmed and loses one pair of matching quotes around it. A
/// missing file, section or key gives `defaultText` (null counts as ""). A text that does not fit
/// is cut to `size` - 1 bytes and the result is exactly `size` - 1: the caller's sign to retry
/// with a larger buffer (a text of exactly `size` - 1 bytes gives the same answer).
/// A null `keyName` returns the section's key names, and a null `sectionName` the file's section
/// names, each as a run of zero-terminated names ended by one more zero byte, with the return
/// values of GetPrivateProfileSectionA. `size` 0 writes nothing and gives 0.
uint32_t GetPrivateProfileStringA(const char* sectionName, const char* keyName,
                                  const char* defaultText, char* returned, uint32_t size,
                                  const char* fileName);
