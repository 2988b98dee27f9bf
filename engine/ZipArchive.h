// ZipArchive.h -- CZipArchive, the one object through which an archive is opened, changed and read.
#pragma once

#include "engine/ZipActionCallback.h"
#include "engine/ZipAddFileRequest.h"
#include "engine/ZipAes.h"
#include "engine/ZipAutoBuffer.h"
#include "engine/ZipCentralDir.h"
#include "engine/ZipContainers.h"
#include "engine/ZipCrypto.h"
#include "engine/ZipDecodeAhead.h"
#include "engine/ZipDecompressor.h"
#include "engine/ZipFileHeader.h"
#include "engine/ZipInternalInfo.h"
#include "engine/ZipStorage.h"
#include "engine/ZipTargetFolder.h"
#include "engine/ZipWholeInflate.h"
#include "engine/ZipZlibAllocator.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CZipAbstractFile;
class CZipMemFile;
class ZipAddAhead;
struct ZipPreparedSource;
class CZipPathComponent;

/// An archive on disk (one file or a set of split volumes) or in a memory file. A caller opens
/// or creates it with `Open`, adds, extracts or deletes entries, and finishes with `Close`, which
/// writes the central directory. At most one entry is open at a time, for writing or for reading.
///
/// Two failure styles: a call in the wrong state (no archive open, an entry already open, an
/// index out of range) is refused quietly with a false result; every other failure is thrown,
/// by value, as `CZipException` (the engine's codes) or `CZipFileException` (a file system error).
/// After an exception the caller closes with `CloseAfterError` (or
/// `CloseAfterErrorKeepDirectory`) or destroys the object; nothing is cleaned up by itself.
/// The object is used by one thread at a time.
class CZipArchive {
  // Runs the first half of `ExtractEntry` on the calling thread, the rest on its workers.
  friend class CZipParallelExtract;

public:
  /// How `Open` treats the path.
  enum OpenMode : int {
    OpenExisting = 0,   ///< an existing archive, for reading and changing
    OpenReadOnly = 1,   ///< an existing archive, for reading only
    CreateNew = 2,      ///< a new archive, replacing an existing file; the volume size is ignored
    CreateSpanned = 3,  ///< a new archive split into volumes of the given size (0 is refused, 103)
  };

  /// How `Close` ends the work on the archive.
  enum CloseMode : int {
    CloseNormal = 0,                   ///< finish an open entry, write the directory, close
    CloseAfterError = 1,               ///< abandon an open entry, write nothing, release the file
    CloseAfterErrorKeepDirectory = 2,  ///< abandon an open entry, write the finished entries' directory
  };

  /// The bits of `AddFileRequest::smartFlags`.
  enum SmartFlags : std::uint32_t {
    PlainDirectories = 0x1,  ///< a folder entry is never encrypted
    PlainEmptyFiles = 0x2,   ///< an empty file is never encrypted
    StoreTinyFiles = 0x4,    ///< with a level other than 0, files of 4 bytes or less are stored
    CheckEfficiency = 0x8,   ///< an entry that deflates to more than its size is stored instead
    TempInMemory = 0x10,     ///< with `CheckEfficiency`: a temporary archive is kept in memory
    InternalReAdd = 0xF000,  ///< set by `AddFile` itself on its second, stored attempt
  };

  /// How one attempt of `AddFile` ended.
  enum class AddStep {
    Refused,       ///< nothing added (`AddFile` answers false)
    Added,         ///< the entry is in the archive
    StoreInstead,  ///< deflating did not pay off and the entry was taken out: add it stored
  };
  /// What one attempt of `AddFile` uses of the request, settled by `AddFile` itself: the level
  /// and flags (the second, stored attempt has its own) and the replace index once resolved.
  struct AddAttempt {
    std::int32_t level = -1;
    std::uint32_t smartFlags = 0;
    std::int32_t replaceIndex = -1;
  };

  /// One entry of the working list of `DeleteEntries`.
  struct CZipDeleteInfo {
    CZipFileHeader* header = nullptr;  ///< the entry; owned by the central directory
    bool deleteFlag = false;           ///< true when the entry is to be removed
  };

  /// The spanning state of the open archive, read from the storage.
  enum class SpanState { NotSpanned, NewSpanned, ExistingSpanned };

  /// The compression level given to `OpenEntryForWriting` in its replace form: the low 16 bits
  /// are this value, the high 16 bits the index of the entry to replace.
  static constexpr int ReplaceLevelMarker = 0x100;

  /// The volume size the scripting layer passes with `CreateNew` (where it has no effect).
  static constexpr int DefaultVolumeSize = 1457500;


  /// A closed archive object with the defaults: no password, no root path, no callbacks.
  CZipArchive();
  /// Frees what is still held; writes nothing (call `Close` first to finish the archive).
  virtual ~CZipArchive();
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  // ---- Opening, closing and settings ----

  /// Opens or creates the archive at `path` in `mode` (`OpenMode`). Returns false, doing
  /// nothing, when an archive is already open. Otherwise the password and root path are cleared;
  /// an existing archive's central directory is read, and when its first entry names a supported
  /// host system that becomes the host system of entries added later. Throws what the storage
  /// and the directory reader throw (`CZipFileException`, 101, 103, 116, ...); after a failed
  /// `Open` the object is closed with `CloseAfterError` or destroyed.
  bool Open(const std::string& path, int mode = OpenExisting, int volumeSize = 0);

  /// As above on a caller's memory file, which must outlive the archive's use of it. Only
  /// `CreateNew` and the two modes for existing archives are meaningful.
  bool Open(CZipMemFile& memoryFile, int mode = CreateNew);

  /// Ends the work on the archive (`CloseMode`). With `CloseNormal` an open entry is finished and
  /// the central directory written; the after-error modes abandon an open entry, and
  /// `CloseAfterError` writes nothing at all. With `updateTime` the archive file gets the latest
  /// modification time of its entries (time value 0 for an empty archive). `CloseNormal` on a
  /// closed object does nothing; the after-error modes also release a file left open by a failed
  /// `Open`. Write errors with `CloseNormal` propagate and leave the archive open, to be closed
  /// again with `CloseAfterError`.
  void Close(int closeMode = CloseNormal, bool updateTime = false);

  /// True when no archive is open.
  bool IsClosed() const;

  /// Sets the password used for every entry opened afterwards (the bytes as given, no
  /// terminator); null clears it. False, with the password unchanged, while an entry is open.
  bool SetPassword(const char* password);
  /// The password as set.
  std::string GetPassword() const;

  /// The cipher of entries written with a password: the traditional one, or WinZip AES (AE-2)
  /// with a key of 128, 192 or 256 bits. The values are the strength codes of the 0x9901 block.
  enum Encryption : int { ZipCrypto = 0, Aes128 = 1, Aes192 = 2, Aes256 = 3 };
  /// Sets the cipher for entries opened for writing afterwards (reading follows each entry).
  void SetEncryption(Encryption method) { encryption_ = method; }
  Encryption GetEncryption() const { return encryption_; }

  /// Says whether the entries will be read one after another in their order, as an extraction
  /// of the whole archive reads them (default: no). When they will, the encrypted entries of an
  /// archive opened read only are read and decoded several at a time, up to 1 MiB of the archive
  /// ahead of the entry opened (`CZipDecodeAhead`): the cipher's steps are serial within an
  /// entry, and decoding several entries side by side runs about three times as fast. Entries
  /// read in another order are still read correctly, each then costing a window of its own.
  void SetReadAhead(bool inOrder) { readAhead_ = inOrder; }

  /// Sets the folder that stored names are made relative to, without its trailing separators;
  /// null empties it. Ignored when no archive is open or an entry is open (so: after `Open`).
  void SetRootPath(const char* path);
  /// The root path as set.
  const std::string& GetRootPath() const { return rootPath_; }

  /// Sets the folder for temporary archives; empty means the system's ($TMPDIR, else /tmp).
  void SetTempPath(const std::string& path) { tempPath_ = path; }

  /// Registers `callback` (not owned) for every `CallbackType` bit in `kinds`; null removes the
  /// registrations of those kinds.
  void SetCallback(CZipActionCallback* callback, int kinds);
  /// The callback registered for `kind`, with its kind field set to `kind`, or null.
  CZipActionCallback* GetCallback(CallbackType kind);

  // ---- Entries ----

  /// Number of entries; 0 when no archive is open.
  int GetCount() const;

  /// Copies entry `index`'s header (every field, the name in host form, extra field and comment)
  /// into `info`. False when no archive is open or `index` is not in 0 to count-1.
  bool GetEntryInfo(CZipFileHeader& info, int index) const;

  /// The index of the entry named `name` (compared without regard to case), or -1.
  int FindEntry(const std::string& name);

  /// The path of the storage's current file; empty when there is none or it is closed.
  std::string GetArchivePath() const;

  /// The spanning state of the open archive (`NotSpanned` when closed).
  SpanState GetSpanState() const;

  /// Throws `CZipException` with `code` (first converted from a zlib return value when
  /// `fromZlib`) and the archive's path, or an empty name when no archive is open.
  [[noreturn]] void ThrowArchiveError(int code, bool fromZlib = false) const;

  /// Writes the central directory now (when auto-write is on, after each change) and flushes
  /// the file. Does nothing when no archive is open or it is an existing spanned archive.
  void WriteDirectoryNow();

  // ---- Names and paths ----

  /// Comparison of a root path with the beginning of a disk path: 0 when equal.
  using NameCompareFunction = int (*)(std::string_view, std::string_view);

  /// Removes `beginning` (less its trailing separators) from the front of `path` when `path`
  /// starts with it as whole components (compared by `compare`), together with the separators
  /// that follow it. Returns whether it removed anything; `path` is unchanged otherwise.
  static bool StripPathPrefix(const std::string& beginning, std::string& path, NameCompareFunction compare);

  /// The stored name of a disk file when full paths are not wanted: the part of its path below
  /// the root path, or else the bare file name.
  std::string NameInArchiveFor(const CZipPathComponent& components) const;

  /// The disk path an entry is extracted to: `targetFolder` plus, with `fullPath`, the name
  /// without its root (or, without `fullPath`, the part below the root path or the bare file
  /// name). `newName`, when not null, is used instead of `storedName`. The result is not checked
  /// here; `ExtractEntry` refuses one that would leave the target folder.
  std::string ExtractedPathFor(const std::string& storedName, const std::string& targetFolder, bool fullPath,
                               const char* newName = nullptr) const;

  /// True when `extractedPath` lies inside `targetFolder` (or is it): no ".." component that
  /// climbs out, whichever separator the stored name used. An empty folder means the current
  /// folder: the path must then be relative and stay below it.
  static bool IsInsideFolder(const std::string& extractedPath, const std::string& targetFolder);

  /// The stored name for a disk path with full paths: the path without its leading "/" and
  /// without "." and ".." components (so `../x` stores `x`).
  static std::string CleanStoredName(const std::string& diskPath);

  // ---- Adding ----

  /// Adds the file or folder of `request` (a file's data read in steps of `bufferSize`). True
  /// when the entry was added; false when refused (buffer size 0, no source, an unusable replace
  /// index, an archive state that does not allow writing) or the source cannot be read. Throws
  /// 27 for a file of 4 GiB or more or an entry that would pass 4 GiB in the archive (before
  /// anything of it is written), 109 for a name too long, 105/106 when a callback stops, zlib
  /// errors as 500-507, and file errors of the archive. May change `request.level` and
  /// `request.smartFlags` on a second, stored attempt.
  bool AddFile(const AddFileRequest& request);
  /// Why the last `AddFile` answered false without an error, when it was one of the reasons a
  /// folder walk passes over in silence (`AddSourceRefusal`).
  AddSourceRefusal GetAddRefusal() const { return addRefusal_; }

  /// The threads adding may use, the calling one included: with 1 (the default) everything runs
  /// on the calling thread; with more, workers open, read and deflate announced sources ahead
  /// (`AnnounceSource`) and share a long source's chunks. The archive's bytes never depend on it.
  /// Ignored while an entry is open.
  void SetWorkerThreads(unsigned count);
  /// Tells the archive that the disk file `path` will be added after the sources announced before
  /// it, at deflate `level`: a worker opens, reads and deflates it meanwhile. Does nothing with
  /// one thread. `AddFile` of that path takes what was prepared (and drops earlier announced
  /// sources that were never added); whatever the worker could not do, `AddFile` does itself.
  void AnnounceSource(const std::string& path, int level);
  /// How many more sources may be announced before one is added (0 with one thread).
  unsigned AnnounceRoom() const;

  /// The short form: `sourcePath` with a derived name, appended (replace index -1).
  bool AddFile(const std::string& sourcePath, int level = -1, bool fullPath = true, std::uint32_t smartFlags = 0,
               std::uint32_t bufferSize = 65536);

  /// Starts a new entry described by `header` (name, time, attributes): writes its local header
  /// (and encryption header when a password is set) and prepares the compressor. `level` is -1
  /// to 9 (others become -1; 0 stores), or the replace form (`ReplaceLevelMarker` in the low 16
  /// bits, the index in the high 16 bits; `size` then gives the data size). With `sourcePath`,
  /// the header takes that file's time and attributes. False when no archive is open, an entry
  /// is open, the archive is an existing spanned one, or it already holds 65535 entries.
  bool OpenEntryForWriting(CZipFileHeader& header, int level = -1, const char* sourcePath = nullptr,
                           std::uint32_t size = 0);

  /// Adds `count` bytes to the open entry: CRC, compression, encryption, write. False when no
  /// entry is open for writing. Throws 27 when the entry would pass 4 GiB in the archive.
  bool WriteEntryData(const void* bytes, std::uint32_t count);

  /// Finishes the open entry: flushes the compressor and writes the CRC and sizes. After an
  /// error nothing more is written (the header stays in the directory with its opening sizes).
  /// False when no entry is open for writing.
  bool CloseEntryForWriting(bool afterError = false);

  /// Removes the last entry and cuts the file back to its local header; without `force` only
  /// when compressing did not pay off. Returns whether it removed it.
  bool RemoveLastEntry(bool force = false);

  // ---- Extracting ----

  /// Opens entry `index` for `ReadEntryData`. False when the index is out of range, the archive
  /// is a new spanned one, or an entry is open. Reads stored, deflate, bzip2 (12), LZMA (14),
  /// Zstandard (93) and XZ (95) data. Throws 136 for any other method (before the password is
  /// looked at), 110 for a missing or wrong password, 101 for a damaged entry, zlib errors as
  /// 500-507.
  bool OpenEntryForReading(int index);

  /// Delivers up to `count` bytes of the open entry, decrypted and decompressed, never more than
  /// its declared size in total. Returns the bytes delivered: less than `count` at the end of the
  /// entry, 0 when no entry is open for reading, `buffer` is null or `count` is 0.
  std::uint32_t ReadEntryData(void* buffer, std::uint32_t count);

  /// Closes the entry open for reading: 1 when all data was delivered and the CRC matched, and
  /// the time and attributes were applied to `targetPath` (when given); -1 when not all data was
  /// delivered; -2 when applying the time or attributes failed; 0 when no entry was open. Throws
  /// 102 on a CRC mismatch, 137 when an AES entry's authentication code does not match (the
  /// entry then stays open for the after-error close). With
  /// `afterError` nothing is checked or applied and the result is 1.
  int CloseEntryForReading(const char* targetPath = nullptr, bool afterError = false);

  /// Extracts entry `index` into `targetFolder` (with `fullPath` keeping its folders), under
  /// `newName` when given, in steps of `bufferSize`. A folder entry creates the folder; a Unix
  /// symbolic-link entry becomes a link when its text names something inside the target folder.
  /// Everything is made relative to the target folder without following any link on the way
  /// (`CZipTargetFolder`). A file's data goes to a temporary beside it that takes the entry's
  /// name only once the data is complete and checked, so a failed check leaves no file and an
  /// existing file intact. True when the entry was extracted completely and checked; false when
  /// refused, when its path would lie outside the target folder (nothing is written), when its
  /// data ended early, or when applying time or attributes failed (`GetExtractRefusal` says
  /// which of the first ones). Throws the errors of `OpenEntryForReading` and
  /// `CloseEntryForReading`, 130 for a symbolic link in the target in the way, 131 for a link
  /// entry that would lead outside the target folder, 132 for a link text that is empty, too
  /// long or holds a NUL byte, 105/106 when the callback stops (what was written then stays), and
  /// file errors of the target (the entry then stays open for the caller's after-error close).
  bool ExtractEntry(int index, const std::string& targetFolder, bool fullPath = true,
                    const char* newName = nullptr, std::uint32_t bufferSize = 65536);

  /// Why the last `ExtractEntry` answered false: 133 for a path that would lie outside the target
  /// folder, 134 for data that ended before the declared size, 135 for a folder entry whose place
  /// holds something else, 0 when it gave no reason.
  int GetExtractRefusal() const { return extractRefusal_; }

  // ---- Deleting, replacing and copying ----

  /// Removes the entries of `indexes` (each given once) and closes the gaps in place; the new
  /// directory is written by `Close`. Does nothing when no archive is open, it is spanned, or an
  /// entry is open. Sorts `indexes` unless all entries go. Throws 106 when the scan callback stops
  /// (nothing changed), 105 or 112 when moving stops or falls short (the archive is damaged).
  void DeleteEntries(CZipArray<std::uint16_t>& indexes);

  /// Normalises a replace index for an entry named `name`: -2 becomes the index of the entry of
  /// that name (or -1), the last entry is cut off and becomes -1 (append), other negatives -1.
  /// False when the index is 0 or more and the archive is spanned or the index out of range.
  bool ResolveReplaceIndex(int& index, const std::string& name);

  /// Resizes the space of entry `index` (the storage positioned at its local header) to
  /// `neededBytes`, moving the entries after it and changing their offsets.
  void MakeRoomForReplace(int index, std::uint64_t neededBytes, const std::string& name);

  /// Moves the archive bytes from `start` to `end` (offsets from the archive's start) by
  /// `distance`, towards the end of the file when `towardsEnd`, reporting to `callback`. Throws
  /// 105 when the callback stops, 112 when the range could not be moved completely.
  void MoveData(std::uint64_t start, std::uint64_t end, std::uint64_t distance, CZipActionCallback* callback,
                bool towardsEnd);

  /// Copies entry `sourceIndex` of `source`, packed as it is, into this archive (appended, or in
  /// place of `replaceIndex`). With `keepHostSystem` its attributes keep their host system.
  /// False when refused (either archive not open or with an entry open, the source spanned,
  /// this archive an existing spanned one). Throws 101 for a damaged source entry, 105/106 when
  /// the callback stops.
  bool CopyEntryFrom(CZipArchive& source, int sourceIndex, int replaceIndex = -1, bool keepHostSystem = false,
                     CZipActionCallback* callback = nullptr);

  /// Adds `request` by compressing it into a temporary archive (in memory when `inMemory`,
  /// else the file `temporaryPath`) and copying the packed entry into this one; with
  /// `checkEfficiency` an entry that does not pay off is added again stored instead. Used for a
  /// replacement that must be compressed and for the efficiency check on a spanned archive.
  AddStep AddFileThroughTemporary(const AddFileRequest& request, const AddAttempt& attempt, bool checkEfficiency,
                                  bool inMemory, const std::string& temporaryPath);

  // ---- Settings nothing in the system changes, kept for callers of the engine ----

  /// When true, the central directory is written after each finished entry and each deletion.
  void SetAutoWrite(bool autoWrite) { autoWrite_ = autoWrite; }
  /// When true, `CloseEntryForReading` skips the CRC check.
  void SetIgnoreCrc(bool ignoreCrc) { ignoreCrc_ = ignoreCrc; }
  /// The host system written into the version-made-by field of new entries.
  int GetHostSystem() const { return archiveHostSystem_; }
  /// The zlib blocks currently held (for leak checks): those of the open entry and those of the
  /// compressor kept between written entries. 0 once the archive is closed.
  std::size_t GetZlibBlockCount() const { return zlibBlocks_.size() + deflateBlocks_.size(); }

private:
  /// `OpenEntryForWriting`; `sizeKnown` says `size` is the source's whole size, which decides
  /// whether the local header needs a ZIP64 block (`NeedsLocalZip64`) and how much room a
  /// replacement (`replaceIndex` >= 0) takes.
  bool OpenEntry(CZipFileHeader& header, int level, const char* sourcePath, std::uint64_t size, bool sizeKnown,
                  bool packed, int replaceIndex);
  /// `packed` to `OpenEntry`: the entry's data arrives deflated already (`WritePackedSource`), so
  /// no zlib stream is started or finished for it.
  /// Writes the data of `source` (`size` bytes from its start, or fewer when it shrank) into the
  /// entry opened packed, deflated at `level`: taken whole (from `prepared` when a worker made it
  /// for the same size and level) or in chunks sharing the workers. `step` is told each piece of
  /// at most `stepBytes` input bytes written and whether more follow.
  void WritePackedSource(CZipAbstractFile& source, std::uint64_t size, int level, ZipPreparedSource* prepared,
                         std::uint32_t stepBytes, const std::function<void(std::uint32_t, bool)>& step);
  /// Appends `count` bytes of deflated data to the entry opened packed (encrypting as it goes).
  void WritePackedEntryData(const unsigned char* bytes, std::size_t count);
  /// The entry open for writing or reading is dropped: buffer and zlib blocks freed.
  void ReleaseEntryState();
  /// Points the zlib stream's allocation functions at the tracked list (or at none).
  void PrepareZlibStream();
  /// Makes `deflateStream_` ready for a new entry at `level`: the stream kept from the previous
  /// entry is reset when it has that level, else a new one is initialised. Throws zlib errors.
  void StartDeflate(int level);
  /// Ends `deflateStream_` (when there is one) and frees its blocks.
  void EndDeflate();
  /// Frees what is kept between entries: the I/O and read buffers and the compressor.
  void ReleaseArchiveBuffers();
  /// Encrypts (when the open entry is) and writes the first `count` bytes of the I/O buffer.
  void FlushEntryBuffer(std::uint32_t count);
  /// Reads, decrypts and deducts the next piece of packed data of the entry open for reading.
  void ReadPackedPiece();
  /// `ReadEntryData` of a deflated entry that fits in memory, at its first read: all its packed
  /// bytes read and inflated in one call, into `output` when `room` takes the whole entry, else
  /// into `whole_.data` to be served from there. False, changing nothing but where the packed
  /// bytes are (then in memory, for the stream to read), when the result is not exact.
  bool InflateWhole(Bytef* output, std::uint32_t room, std::uint32_t& delivered);
  /// Delivers up to `room` bytes of an entry inflated whole into `whole_.data`.
  std::uint32_t ServeWhole(Bytef* output, std::uint32_t room);
  /// `ReadEntryData` of an entry read through `decompressor_`: at most `room` bytes into
  /// `output`. Once the declared size is delivered, reads on to the method's end mark (when it
  /// has one) and past any packed bytes after it. Throws 101 for damaged data, 505 when the
  /// decoder lacks memory or would pass its limit.
  std::uint32_t ReadDecompressed(Bytef* output, std::uint32_t room);
  /// Reads and drops the packed bytes of the open entry that are left, so that the file is at
  /// the end of its data, where a data descriptor follows.
  void SkipPackedRest();
  /// Throws the error of a decoder that answered `status`, naming the open entry.
  [[noreturn]] void ThrowDecodeError(CZipDecompressor::Status status, const std::string& problem) const;
  /// Throws the zlib error `zlibResult` met while inflating the entry open for reading; an AES
  /// entry whose authentication code fails is reported as such instead (137): its data was
  /// changed, and that is why it does not inflate.
  [[noreturn]] void ThrowDataError(int zlibResult);
  /// Decrypts `count` packed bytes of the entry open for reading, by its cipher (when it has one).
  void DecryptPacked(char* bytes, std::uint32_t count);
  /// Starts reading the AES entry `entry` (method 99) whose local header has just been read:
  /// reads its salt and verifier and checks the password. Returns the packed bytes between the
  /// verifier and the authentication code; `method` becomes the real compression method.
  /// Throws 110 for a missing or wrong password, 101 for a missing or unusable 0x9901 block.
  std::uint64_t OpenAesEntry(const CZipFileHeader& entry, std::uint16_t& method);
  /// Ends reading an AES entry whose data was all delivered: the packed bytes not yet read are
  /// read, then its authentication code is compared. Throws 137 when it differs.
  void CheckAesCode();
  /// Writing: makes `header` (prepared, encrypted) an AES entry of the real method it has.
  void PrepareAesHeader(CZipFileHeader& header);
  /// Writing: the salt and verifier of the AES entry `opened` after its local header, which
  /// took its 0x9901 block with it: the block is set again for the central record.
  void StartAesData(CZipFileHeader& opened);
  /// Writing: the authentication code after the AES entry's data; AE-2 stores CRC 0.
  void FinishAesData(CZipFileHeader& opened);
  /// The bytes the cipher adds to the entry about to be written (0 without a password).
  std::uint32_t NewEntryOverhead() const;
  /// The encrypted entry `entry` (number `index`), whose local header has just been read, from
  /// the decode-ahead window (filled from it when the window does not hold it): its decrypted
  /// data, with its data descriptor found in the window or the file left after the data. Null
  /// when the window cannot serve it, the file then still at the encryption header. Throws 110
  /// when its decrypted header fails the check.
  char* DecodedAhead(int index, const CZipFileHeader& entry);
  /// Where `ExtractEntry` writes `header`: its full path and its path below `targetFolder`
  /// (normalised). False, with `extractRefusal_` set, for a name that would leave the folder.
  bool ResolveExtractTarget(const CZipFileHeader& header, const std::string& targetFolder, bool fullPath,
                            const char* newName, std::string& targetPath, std::string& relative);
  /// `ExtractEntry` of a folder entry at `relativePath` below the target folder.
  bool ExtractFolderEntry(const CZipFileHeader& header, const std::string& relativePath,
                          const std::string& targetPath);
  /// `ExtractEntry` of the symbolic-link entry `index`, opened for reading, into the folder
  /// `parentFd` under `name`, `depth` folders below the target folder.
  bool ExtractLinkEntry(const CZipFileHeader& header, int parentFd, std::string_view name, int depth,
                        const std::string& targetPath);
  /// Adding a file (not a folder) once the header is built.
  /// `diskInfo` is the source's stat (unused for a source file); `diskFile` the source when
  /// `AddFile` already opened it (else it is opened here).
  AddStep AddFileData(const AddFileRequest& request, const AddAttempt& attempt, CZipFileHeader& header,
                      bool isReplacement, const ZipSourceInfo& diskInfo, CZipFile& diskFile,
                      ZipPreparedSource* prepared);
  /// One attempt of `AddFile` (the whole add, from resolving the source to the finished entry);
  /// resolves `attempt.replaceIndex` in place.
  AddStep AddFileOnce(const AddFileRequest& request, AddAttempt& attempt);
  /// True when `source` is the file this archive is written to.
  bool IsArchiveFile(const CZipFile& source) const;
  /// `IsArchiveFile`, noted as the reason of the refusal (`GetAddRefusal`) when true.
  bool RefusedAsArchive(const CZipFile& source);
  /// Where the next local header goes, as a file position (not meaningful when spanned).
  std::uint64_t AppendPosition() const;
  /// Throws 101 (with a detail naming `what` and both numbers) when file position `position`,
  /// taken from the archive to cut or move at, lies past the end of the file.
  void CheckCutInsideFile(std::uint64_t position, const char* what);
  /// Sets the state right after the storage was opened in `mode`.
  void InitAfterOpen(int mode);

  bool removeDrive_ = true;
  CZipClbckStrg callbacks_;
  bool caseSensitive_ = false;
  NameCompareFunction nameCompare_;
  CZipInternalInfo info_;
  CZipStorage storage_;
  CZipCentralDir centralDir_;
  std::int8_t entryState_ = 0;  ///< 0 none, 1 writing, -1 reading
  bool autoWrite_ = false;
  bool ignoreCrc_ = false;
  std::string rootPath_;
  std::string tempPath_;
  std::int32_t archiveHostSystem_ = 0;
  ZipZlibBlockList zlibBlocks_;
  bool trackAllocations_ = true;
  CZipAutoBuffer password_;
  CZipCrypto crypto_;
  Encryption encryption_ = ZipCrypto;  ///< `SetEncryption`
  CZipAes aes_;                        ///< the open entry's AES state, when it is an AES entry
  bool readAhead_ = false;            ///< `SetReadAhead`
  CZipDecodeAhead decodeAhead_;       ///< encrypted entries decoded ahead, for `password_`
  /// Reading an entry decoded ahead: the window's bytes after its data, where its data
  /// descriptor is checked (none when the file is to be read for it).
  CZipDecodeAhead::Following followingAhead_;

  // Kept from one written entry to the next while the archive is open: zlib's deflate state is
  // about 270 KiB, and initialising (allocating and clearing) it for every entry cost more than
  // compressing a small file.
  z_stream deflateStream_{};          ///< the compressor; its address must not change (zlib checks it)
  bool deflateReady_ = false;         ///< `deflateStream_` is initialised
  int deflateLevel_ = 0;              ///< the level it was initialised with
  ZipZlibBlockList deflateBlocks_;    ///< its blocks, apart from the open entry's
  CZipAutoBuffer readBuffer_;         ///< `AddFile`'s buffer for the source's data
  ZipEntryTimeMemo entryTimeMemo_;    ///< the last entry time given to an extracted file
  CZipTargetFolder targetFolder_;     ///< the folder extracted into, held open between entries
  int extractRefusal_ = 0;            ///< `GetExtractRefusal`
  AddSourceRefusal addRefusal_ = AddSourceRefusal::None;  ///< `GetAddRefusal`
  unsigned workerThreads_ = 1;        ///< `SetWorkerThreads`
  std::unique_ptr<ZipAddAhead> addAhead_;  ///< the workers, with more than one thread

  // The entry being written or read.
  bool archiveOpen_ = false;       ///< an `Open` completed and no `Close` followed
  bool entryEncrypted_ = false;    ///< flag bit 0 of the open entry
  bool entryAes_ = false;          ///< the open entry is WinZip AES (method 99)
  bool entryAesCrc_ = false;       ///< reading: AE-1, whose CRC is checked as well as its code
  int entryAesStrength_ = 0;       ///< the open AES entry's strength code
  bool entryDeflated_ = false;     ///< method 8 of the open entry
  bool entryPacked_ = false;       ///< writing: the data arrives deflated (`OpenEntry`'s `packed`)
  bool zlibStreamOpen_ = false;    ///< deflate or inflate initialised and not yet ended
  std::uint64_t entryStartOffset_ = 0;  ///< writing: archive offset where the entry's data starts
  std::uint64_t entryOutputBytes_ = 0;  ///< writing: packed bytes produced so far
  std::uint64_t entryInputBytes_ = 0;   ///< writing: data bytes taken so far
  bool entryZip64_ = false;             ///< writing: the local header carries a ZIP64 block
  bool dummyByteOffered_ = false;       ///< reading: the one byte offered past the packed data
  /// reading: the decoder of a method other than stored and deflate; null for those two
  std::unique_ptr<CZipDecompressor> decompressor_;
  bool decompressorEnded_ = false;      ///< reading: `decompressor_` has delivered all it will
  ZipWholeRead whole_;                  ///< reading: a deflated entry inflated in one call
};
