// ZipFindFast.cpp -- the central directory's array of entries sorted by name, and look-up by name.
#include <algorithm>

#include "engine/ZipCentralDir.h"
#include "engine/ZipPathComponent.h"
#include "engine/ZipTextCompare.h"

namespace {

int CompareNames(std::string_view left, std::string_view right, bool caseSensitive) {
  return caseSensitive ? ZipCompare(left, right) : ZipCompareNoCase(left, right);
}

std::string_view NameOf(const CZipFindFast& element) { return element.m_pHeader->m_pszFileName.View(); }

// The file name part of a stored name: trailing separators cut, then title and extension.
std::string FileNamePart(std::string_view stored) {
  while (!stored.empty() && (stored.back() == '/' || stored.back() == '\\')) stored.remove_suffix(1);
  return CZipPathComponent(std::string(stored)).GetFileName();
}

}  // namespace

void CZipCentralDir::BuildFindFast(bool caseSensitive) {
  m_bCaseSensitive = caseSensitive;
  m_findarray.clear();
  m_findarray.reserve(m_headers.size());
  for (std::size_t i = 0; i < m_headers.size(); ++i)
    m_findarray.push_back(CZipFindFast{m_headers[i].get(), static_cast<std::uint16_t>(i)});
  // The order one insertion after another gives (an equal name goes before those already
  // there), reached in one sort instead of a quadratic series of insertions.
  std::sort(m_findarray.begin(), m_findarray.end(), [caseSensitive](const CZipFindFast& a, const CZipFindFast& b) {
    const int order = CompareNames(NameOf(a), NameOf(b), caseSensitive);
    return order != 0 ? order < 0 : a.m_uIndex > b.m_uIndex;
  });
}

void CZipCentralDir::InsertFindFastElement(CZipFileHeader* header, std::uint16_t index) {
  const std::string_view name = header->m_pszFileName.View();
  const bool caseSensitive = m_bCaseSensitive;
  const auto position = std::lower_bound(m_findarray.begin(), m_findarray.end(), name,
                                         [caseSensitive](const CZipFindFast& element, std::string_view value) {
                                           return CompareNames(NameOf(element), value, caseSensitive) < 0;
                                         });
  m_findarray.insert(position, CZipFindFast{header, index});
}

int CZipCentralDir::FindFastPosition(const std::string& name, bool caseSensitive) const {
  const auto position = std::lower_bound(m_findarray.begin(), m_findarray.end(), std::string_view(name),
                                         [caseSensitive](const CZipFindFast& element, std::string_view value) {
                                           return CompareNames(NameOf(element), value, caseSensitive) < 0;
                                         });
  if (position == m_findarray.end() || CompareNames(NameOf(*position), name, caseSensitive) != 0) return -1;
  return static_cast<int>(position - m_findarray.begin());
}

int CZipCentralDir::FindByName(const std::string& name, bool caseSensitive, bool sporadic, bool nameOnly) {
  for (const auto& header : m_headers) header->ConvertName(true, m_bOemConversion);
  if (!m_bFindFastEnabled) {
    m_bFindFastEnabled = true;
    BuildFindFast(sporadic ? !caseSensitive : caseSensitive);
  }
  if (nameOnly) {
    for (const CZipFindFast& element : m_findarray)
      if (CompareNames(FileNamePart(NameOf(element)), name, caseSensitive) == 0) return element.m_uIndex;
    return -1;
  }
  if (caseSensitive != m_bCaseSensitive) {
    if (sporadic) {
      for (const CZipFindFast& element : m_findarray)
        if (CompareNames(NameOf(element), name, caseSensitive) == 0) return element.m_uIndex;
      return -1;
    }
    BuildFindFast(caseSensitive);
  }
  const int position = FindFastPosition(name, caseSensitive);
  return position < 0 ? -1 : m_findarray[position].m_uIndex;
}
