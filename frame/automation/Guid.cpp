// Guid.cpp -- GUID comparison, its registry text form, and the fixed identifiers.
#include "frame/automation/Guid.h"

#include <cstdio>
#include <cstring>

// {00000000-0000-0000-0000-000000000000}
const GUID IID_NULL = {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
// {00000000-0000-0000-C000-000000000046}
const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00020400-0000-0000-C000-000000000046}
const GUID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
const GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {DF0B3D60-548F-101B-8E65-08002B2BD119}
const GUID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
// {00020404-0000-0000-C000-000000000046}
const GUID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {2B44973E-3EFD-4616-820D-910F955D173B}
const GUID LIBID_BREVIKLib = {0x2B44973E, 0x3EFD, 0x4616, {0x82, 0x0D, 0x91, 0x0F, 0x95, 0x5D, 0x17, 0x3B}};
// {76BA1976-775A-4CE5-8E04-68FBC0D2465A}
const GUID CLSID_ZIP = {0x76BA1976, 0x775A, 0x4CE5, {0x8E, 0x04, 0x68, 0xFB, 0xC0, 0xD2, 0x46, 0x5A}};
// {5836063E-7256-4BDE-A327-7B3532D79661}
const GUID CLSID_UnZip = {0x5836063E, 0x7256, 0x4BDE, {0xA3, 0x27, 0x7B, 0x35, 0x32, 0xD7, 0x96, 0x61}};
// {30E4607F-610C-4501-ABF0-053B25FEB2D5}
const GUID CLSID_UnZipEntries = {0x30E4607F, 0x610C, 0x4501, {0xAB, 0xF0, 0x05, 0x3B, 0x25, 0xFE, 0xB2, 0xD5}};
// {C9C1D430-0BD9-41D9-AF16-67EA6DE76E0E}
const GUID IID_IZIP = {0xC9C1D430, 0x0BD9, 0x41D9, {0xAF, 0x16, 0x67, 0xEA, 0x6D, 0xE7, 0x6E, 0x0E}};
// {663A3976-F9ED-40C4-ABDA-C90CFBCF7597}
const GUID IID_IUnZip = {0x663A3976, 0xF9ED, 0x40C4, {0xAB, 0xDA, 0xC9, 0x0C, 0xFB, 0xCF, 0x75, 0x97}};
// {AFC7571D-F570-4FBD-8CC2-4068879D8FEE}
const GUID IID_IUnZipEntries = {0xAFC7571D, 0xF570, 0x4FBD, {0x8C, 0xC2, 0x40, 0x68, 0x87, 0x9D, 0x8F, 0xEE}};

bool IsEqualGUID(REFGUID a, REFGUID b) noexcept {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

std::string GuidToBracedText(REFGUID guid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

namespace {

int HexDigitValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at `text[at]` into `value`.
bool ReadHex(std::string_view text, size_t at, size_t digits, uint64_t& value) noexcept {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int digit = HexDigitValue(text[at + i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  return true;
}

}  // namespace

bool GuidFromBracedText(std::string_view text, GUID& guid) noexcept {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, dashes at 9, 14, 19 and 24.
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-')
    return false;
  GUID parsed{};
  uint64_t value = 0;
  if (!ReadHex(text, 1, 8, value)) return false;
  parsed.Data1 = static_cast<uint32_t>(value);
  if (!ReadHex(text, 10, 4, value)) return false;
  parsed.Data2 = static_cast<uint16_t>(value);
  if (!ReadHex(text, 15, 4, value)) return false;
  parsed.Data3 = static_cast<uint16_t>(value);
  static constexpr size_t kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteOffsets[i], 2, value)) return false;
    parsed.Data4[i] = static_cast<uint8_t>(value);
  }
  guid = parsed;
  return true;
}
