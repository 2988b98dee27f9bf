// ListingPrinter.cpp -- a listing as the command prints it: a table, a verbose table, or JSON.
#include "tools/ListingPrinter.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "engine/ZipDecompressor.h"
#include "tools/JsonText.h"
#include "tools/PrintableName.h"

namespace {

// The MS-DOS date and time fields (APPNOTE 4.4.6) as "YYYY-MM-DD" and "hh:mm[:ss]".
std::string DosDate(unsigned date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", 1980 + (date >> 9), (date >> 5) & 15u, date & 31u);
  return text;
}

std::string DosTime(unsigned time, bool seconds) {
  char text[16];
  if (seconds) std::snprintf(text, sizeof text, "%02u:%02u:%02u", time >> 11, (time >> 5) & 63u, (time & 31u) * 2);
  else std::snprintf(text, sizeof text, "%02u:%02u", time >> 11, (time >> 5) & 63u);
  return text;
}

std::string Crc(unsigned long crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", crc);
  return text;
}

/// The space saved, in percent of the original size, as `unzip -v` shows it.
int SavedPercent(unsigned long long original, unsigned long long compressed) {
  if (original == 0) return 0;
  const long long saved = static_cast<long long>(original) - static_cast<long long>(compressed);
  return static_cast<int>(saved * 100 / static_cast<long long>(original));
}

unsigned long long SizeField(LONGLONG size) { return static_cast<ULONGLONG>(size); }

}  // namespace

std::string MethodName(unsigned method) {
  // The engine's names, as 7-Zip and Info-ZIP show them; a number without one as "Unk:NNN".
  const char* name = ZipMethodName(static_cast<std::uint16_t>(method));
  if (name != nullptr && *name != '\0') return name;
  char text[16];
  std::snprintf(text, sizeof text, "Unk:%03u", method);
  return text;
}

void PrintListingHeading(bool json, bool verbose) {
  if (json) return;
  if (verbose)
    std::printf("%-4s  %10s  %-9s  %10s  %4s  %-9s  %-10s  %-5s  %-8s  %s\n", "Type", "Length", "Method", "Size", "Cmpr",
                "Encrypted", "Date", "Time", "CRC-32", "Name");
  else
    std::printf("%-4s  %10s  %-9s  %s\n", "Type", "Size", "Encrypted", "Name");
}

void PrintListingEntry(const ListedEntry& e, std::size_t index, bool json, bool verbose) {
  const EntryDetails& d = e.details;
  if (json) {
    std::cout << (index ? ",\n " : "[\n ") << "{\"Name\": " << JsonText(e.name) << ", \"Type\": " << JsonText(e.type)
              << ", \"Size\": " << e.size << ", \"SavedName\": " << JsonText(e.savedName)
              << ", \"PasswordRequired\": " << JsonText(e.passwordRequired)
              << ", \"ErrorReason\": " << JsonText(e.notExtractedReason);
    if (verbose)
      std::cout << ", \"CompressedSize\": " << d.compressedBytes << ", \"Method\": " << JsonText(MethodName(d.method))
                << ", \"Modified\": " << JsonText(DosDate(d.dosDate) + " " + DosTime(d.dosTime, true))
                << ", \"CRC32\": " << JsonText(Crc(d.crc32));
    std::cout << "}";
    return;
  }
  const char* encrypted = e.passwordRequired == "Yes" ? "yes" : "no";
  if (verbose)
    std::printf("%-4s  %10llu  %-9s  %10llu  %3d%%  %-9s  %-10s  %-5s  %-8s  %s\n", e.type.c_str(), SizeField(e.size),
                MethodName(d.method).c_str(), static_cast<unsigned long long>(d.compressedBytes),
                SavedPercent(SizeField(e.size), d.compressedBytes), encrypted, DosDate(d.dosDate).c_str(),
                DosTime(d.dosTime, false).c_str(), Crc(d.crc32).c_str(), PrintableName(e.name).c_str());
  else
    std::printf("%-4s  %10llu  %-9s  %s\n", e.type.c_str(), SizeField(e.size), encrypted, PrintableName(e.name).c_str());
}

void PrintListingEnd(std::size_t count, bool json) {
  if (json) std::cout << (count == 0 ? "[]\n" : "\n]\n");
  else std::printf("%zu %s\n", count, count == 1 ? "entry" : "entries");
}
