// GuidTest.cpp -- GUID comparison, its registry text and the fixed identifiers.
#include <gtest/gtest.h>

#include <set>

#include "frame/automation/Guid.h"

namespace {

TEST(Guid, TextFormRoundTripsAndRefusesAnythingElse) {
  EXPECT_EQ(GuidToBracedText(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(GuidToBracedText(IID_ISupportErrorInfo), "{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  GUID parsed{};
  ASSERT_TRUE(GuidFromBracedText("{df0b3d60-548f-101b-8e65-08002b2bd119}", parsed));
  EXPECT_TRUE(IsEqualGUID(parsed, IID_ISupportErrorInfo));
  for (const GUID* id : {&CLSID_ZIP, &LIBID_BREVIKLib, &IID_IZIP, &IID_IUnZip, &IID_IUnZipEntries}) {
    GUID back{};
    ASSERT_TRUE(GuidFromBracedText(GuidToBracedText(*id), back));
    EXPECT_TRUE(back == *id);
  }
  const GUID untouched = IID_IUnknown;
  GUID target = untouched;
  for (const char* bad : {"", "00020400-0000-0000-C000-000000000046",
                          "{00020400-0000-0000-C000-00000000004}", "{00020400-0000-0000-C000-0000000000467}",
                          "{00020400+0000-0000-C000-000000000046}", "{0002040G-0000-0000-C000-000000000046}"}) {
    EXPECT_FALSE(GuidFromBracedText(bad, target)) << bad;
    EXPECT_TRUE(target == untouched);
  }
}

TEST(Guid, TheComponentsIdentifiersAreDistinctAndFixed) {
  std::set<std::string> texts;
  for (const GUID* id : {&LIBID_BREVIKLib, &CLSID_ZIP, &CLSID_UnZip, &CLSID_UnZipEntries, &IID_IZIP,
                         &IID_IUnZip, &IID_IUnZipEntries, &IID_IUnknown, &IID_IDispatch, &IID_IClassFactory,
                         &IID_ISupportErrorInfo, &IID_IEnumVARIANT, &IID_NULL})
    texts.insert(GuidToBracedText(*id));
  EXPECT_EQ(texts.size(), 13u);
  // Scripts and registrations refer to these values: they never change.
  EXPECT_EQ(GuidToBracedText(CLSID_ZIP), "{76BA1976-775A-4CE5-8E04-68FBC0D2465A}");
  EXPECT_EQ(GuidToBracedText(LIBID_BREVIKLib), "{2B44973E-3EFD-4616-820D-910F955D173B}");
  EXPECT_EQ(GuidToBracedText(IID_IZIP), "{C9C1D430-0BD9-41D9-AF16-67EA6DE76E0E}");
  EXPECT_EQ(sizeof(GUID), 16u);
}

}  // namespace
