// UnZipCollectionTest.cpp -- the listing collection: order, values, Item bounds, enumerator.
#include "scripting/CUnZip.h"

#include <gtest/gtest.h>

#include "frame/automation/IEnumVARIANT.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

struct ListedItem {
  std::string name, type;
  LONGLONG size = 0;
  std::string savedName, passwordRequired;
  bool operator==(const ListedItem&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ListedItem& item) {
  return out << "{" << item.name << ", " << item.type << ", " << item.size << ", '" << item.savedName << "', "
             << item.passwordRequired << "}";
}

ListedItem Describe(IDispatch* dispatch) {
  ComPtr<IUnZipEntries> entry;
  ListedItem item;
  if (!dispatch || FAILED(ComPtr<IDispatch>(dispatch).As(IID_IUnZipEntries, entry))) return {"<not an entry>", "", 0, "", ""};
  UniqueBstr text;
  entry->get_Name(text.ReleaseAndGetAddressOf());
  item.name = text.ToUtf8();
  entry->get_Type(text.ReleaseAndGetAddressOf());
  item.type = text.ToUtf8();
  VARIANT size;
  VariantInit(&size);
  entry->get_Size(&size);
  item.size = size.vt == VT_I4 ? size.lVal : size.vt == VT_I8 ? size.llVal : -1;
  entry->get_SavedName(text.ReleaseAndGetAddressOf());
  item.savedName = text.ToUtf8();
  entry->get_PasswordRequired(text.ReleaseAndGetAddressOf());
  item.passwordRequired = text.ToUtf8();
  return item;
}

// Item(1) to Item(Count), through the collection's own members.
std::vector<ListedItem> Items(CUnZip& collection) {
  LONG count = -1;
  EXPECT_EQ(collection.get_Count(&count), S_OK);
  std::vector<ListedItem> items;
  for (LONG i = 1; i <= count; ++i) {
    ScopedVariant item;
    EXPECT_EQ(collection.get_Item(i, item.get()), S_OK);
    EXPECT_EQ(item->vt, VT_DISPATCH);
    items.push_back(Describe(item->pdispVal));
  }
  return items;
}

ComPtr<CUnZip> Filled(const ZipRequest& request, std::string& result) {
  ComPtr<CUnZip> collection;
  EXPECT_EQ(CUnZip::Create(collection), S_OK);
  result = collection->Fill(request);
  return collection;
}

ComPtr<IEnumVARIANT> Enumerator(CUnZip& collection) {
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(collection.get__NewEnum(unknown.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IEnumVARIANT> enumerator;
  EXPECT_EQ(unknown.As(IID_IEnumVARIANT, enumerator), S_OK);
  return enumerator;
}

// Names handed out by Next one at a time until it runs dry.
std::vector<std::string> Walk(IEnumVARIANT& enumerator) {
  std::vector<std::string> names;
  for (;;) {
    ScopedVariant item;
    if (enumerator.Next(1, item.get(), nullptr) != S_OK) break;
    names.push_back(Describe(item->pdispVal).name);
  }
  return names;
}

TEST(UnZipCollection, ListGivesEveryEntryLastFirst) {
  ScratchDir dir;
  const std::string zip = dir / "three.zip";
  WritePeerArchive(zip, {{"a.txt", "aaa"}, {"b/", ""}, {"b/c.txt", "cc"}});
  std::string result;
  ComPtr<CUnZip> list = Filled(RequestFor(OpList, zip), result);
  EXPECT_EQ(result, "");
  EXPECT_EQ(Items(*list.Get()), (std::vector<ListedItem>{{"b/c.txt", "File", 2, "", "No"},
                                                   {"b/", "Dir", 0, "", "No"},
                                                   {"a.txt", "File", 3, "", "No"}}));

  // Out of range: E_INVALIDARG with an empty object reference already in place.
  for (LONG index : {0, 4, -1}) {
    ScopedVariant item;
    item->vt = VT_I4;
    EXPECT_EQ(list->get_Item(index, item.get()), E_INVALIDARG) << index;
    EXPECT_EQ(item->vt, VT_UNKNOWN);
    EXPECT_EQ(item->punkVal, nullptr);
  }
  LONG count = 0;
  EXPECT_EQ(list->get_Count(nullptr), E_POINTER);
  EXPECT_EQ(list->get_Item(1, nullptr), E_POINTER);
  EXPECT_EQ(list->get__NewEnum(nullptr), E_POINTER);
  EXPECT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 3);

  // The collection and its entries answer for their own interfaces only.
  EXPECT_EQ(list->InterfaceSupportsErrorInfo(IID_IUnZip), S_OK);
  EXPECT_EQ(list->InterfaceSupportsErrorInfo(IID_IZIP), S_FALSE);
  ComPtr<IUnknown> none;
  EXPECT_EQ(list->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(none.ReleaseAndGetAddressOf())),
            E_NOINTERFACE);
}

TEST(UnZipCollection, EnumeratorFollowsTheAutomationRules) {
  ScratchDir dir;
  const std::string zip = dir / "three.zip";
  WritePeerArchive(zip, {{"a.txt", "aaa"}, {"b/", ""}, {"b/c.txt", "cc"}});
  std::string result;
  ComPtr<CUnZip> list = Filled(RequestFor(OpList, zip), result);
  ComPtr<IEnumVARIANT> walk = Enumerator(*list.Get());
  ASSERT_TRUE(walk);

  VARIANT items[5];
  ULONG fetched = 99;
  EXPECT_EQ(walk->Next(2, items, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(Describe(items[0].pdispVal).name, "b/c.txt");
  EXPECT_EQ(Describe(items[1].pdispVal).name, "b/");
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
  EXPECT_EQ(walk->Next(5, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(Describe(items[0].pdispVal).name, "a.txt");
  VariantClear(&items[0]);
  EXPECT_EQ(walk->Next(1, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(walk->Next(2, items, nullptr), E_POINTER);  // more than one needs a count back

  EXPECT_EQ(walk->Reset(), S_OK);
  EXPECT_EQ(walk->Skip(1), S_OK);
  ComPtr<IEnumVARIANT> clone;
  EXPECT_EQ(walk->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(walk->Skip(5), S_FALSE);
  EXPECT_EQ(Walk(*walk.Get()), std::vector<std::string>{});
  // The clone kept the position it was made at.
  EXPECT_EQ(Walk(*clone.Get()), (std::vector<std::string>{"b/", "a.txt"}));
  EXPECT_EQ(walk->Clone(nullptr), E_POINTER);

  // Two loops over one collection see the same entries in the same order.
  EXPECT_EQ(Walk(*Enumerator(*list.Get()).Get()), (std::vector<std::string>{"b/c.txt", "b/", "a.txt"}));
  EXPECT_EQ(Walk(*Enumerator(*list.Get()).Get()), (std::vector<std::string>{"b/c.txt", "b/", "a.txt"}));

  // Enumerators share the collection's items rather than copying them, and keep them alive
  // after the collection itself is gone.
  ComPtr<IEnumVARIANT> survivor = Enumerator(*list.Get());
  list.Reset();
  EXPECT_EQ(Walk(*survivor.Get()), (std::vector<std::string>{"b/c.txt", "b/", "a.txt"}));
}

TEST(UnZipCollection, EmptyArchiveGivesAnEmptyCollection) {
  ScratchDir dir;
  const std::string zip = dir / "empty.zip";
  WritePeerArchive(zip, {});
  for (ZipOperation operation : {OpList, OpUnZip}) {
    std::string result = "unset";
    ComPtr<CUnZip> list = Filled(RequestFor(operation, zip, dir.path()), result);
    EXPECT_EQ(result, "");
    EXPECT_EQ(Items(*list.Get()), std::vector<ListedItem>{});
    ScopedVariant item;
    EXPECT_EQ(list->get_Item(1, item.get()), E_INVALIDARG);
    EXPECT_EQ(Walk(*Enumerator(*list.Get()).Get()), std::vector<std::string>{});
  }
}

TEST(UnZipCollection, SizeIsAThirtyTwoBitIntegerBelowTwoGibibytesAndTheExactSixtyFourBitOneAbove) {
  ScratchDir dir;
  const std::string zip = dir / "big.zip";
  WritePeerArchive(zip, {{"huge.bin", "x"}});
  // Declare 2 GiB + 1 in the central header's uncompressed-size field (offset 24 from its
  // signature); a listing reads only the directory.
  std::string bytes = ReadFileBytes(zip);
  const std::string::size_type central = bytes.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  bytes.replace(central + 24, 4, std::string("\x01\x00\x00\x80", 4));
  WriteFileBytes(zip, bytes);
  std::string result;
  ComPtr<CUnZip> list = Filled(RequestFor(OpList, zip), result);
  EXPECT_EQ(result, "");
  const std::vector<ListedItem> items = Items(*list.Get());
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, 2147483649);
  VARIANT value;
  VariantInit(&value);
  ASSERT_EQ(list->get_Item(1, &value), S_OK);
  ASSERT_EQ(value.vt, VT_DISPATCH);
  ComPtr<IUnZipEntries> entry;
  ASSERT_EQ(ComPtr<IDispatch>(value.pdispVal).As(IID_IUnZipEntries, entry), S_OK);
  VariantClear(&value);
  VARIANT size;
  VariantInit(&size);
  ASSERT_EQ(entry->get_Size(&size), S_OK);
  EXPECT_EQ(size.vt, VT_I8);
  EXPECT_EQ(size.llVal, 2147483649);
  // One byte below 2 GiB keeps the 32-bit integer existing scripts were given.
  bytes.replace(central + 24, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  WriteFileBytes(zip, bytes);
  ComPtr<CUnZip> small = Filled(RequestFor(OpList, zip), result);
  ASSERT_EQ(small->get_Item(1, &value), S_OK);
  ASSERT_EQ(ComPtr<IDispatch>(value.pdispVal).As(IID_IUnZipEntries, entry), S_OK);
  VariantClear(&value);
  ASSERT_EQ(entry->get_Size(&size), S_OK);
  EXPECT_EQ(size.vt, VT_I4);
  EXPECT_EQ(size.lVal, 2147483647);
}

TEST(UnZipCollection, AnythingButAnArchiveCannotBeOpened) {
  ScratchDir dir;
  WriteFileBytes(dir / "text.zip", "just some text, no end record anywhere in it");
  WritePeerArchive(dir / "good.zip", {{"a.txt", std::string(2000, 'a')}, {"b.txt", "b"}});
  const std::string bytes = ReadFileBytes(dir / "good.zip");
  WriteFileBytes(dir / "cut.zip", bytes.substr(0, bytes.size() - 30));  // the end record is gone
  for (const char* name : {"text.zip", "cut.zip"}) {
    for (ZipOperation operation : {OpList, OpUnZip}) {
      std::string result;
      ComPtr<CUnZip> list = Filled(RequestFor(operation, dir / name, dir.path()), result);
      EXPECT_EQ(result, "Cannot open file " + dir / name + ". It does not appear to be a valid zip");
      LONG count = -1;
      list->get_Count(&count);
      EXPECT_EQ(count, 0);
    }
  }
}

}  // namespace
