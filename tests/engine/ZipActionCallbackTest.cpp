// ZipActionCallbackTest.cpp -- registering callbacks by kind bits and fetching them with their kind set.
#include "engine/ZipActionCallback.h"

#include <gtest/gtest.h>

namespace {

class CountingCallback : public CZipActionCallback {
public:
  void Begin(const char*, const char*) override {}
  void SetTotal(std::uint32_t) override {}
  void End() override {}
  bool Step(std::uint32_t) override { return true; }
};

TEST(ZipCallbackRegistry, RegistersEachSetBitAndTellsTheKindOnFetch) {
  CZipClbckStrg registry;
  CountingCallback progress;
  CountingCallback other;
  EXPECT_EQ(registry.GetCallback(cbAddFile), nullptr);

  registry.SetCallback(&progress, cbAddFile | cbExtract | cbSaveDirectory);
  ASSERT_EQ(registry.GetCallback(cbExtract), &progress);
  EXPECT_EQ(progress.GetType(), cbExtract);
  ASSERT_EQ(registry.GetCallback(cbAddFile), &progress);
  EXPECT_EQ(progress.GetType(), cbAddFile);
  EXPECT_EQ(registry.GetCallback(cbDeleteMove), nullptr);
  EXPECT_EQ(progress.GetType(), cbAddFile);  // a failed fetch leaves the kind alone

  // A later registration replaces one kind only; null removes only the kinds named.
  registry.SetCallback(&other, cbExtract);
  EXPECT_EQ(registry.GetCallback(cbExtract), &other);
  EXPECT_EQ(other.GetType(), cbExtract);
  registry.SetCallback(nullptr, cbAddFile);
  EXPECT_EQ(registry.GetCallback(cbAddFile), nullptr);
  EXPECT_EQ(registry.GetCallback(cbSaveDirectory), &progress);
  EXPECT_EQ(progress.GetType(), cbSaveDirectory);

  // Every one of the eleven bits can be registered, the unnamed ones included; higher bits cannot.
  registry.SetCallback(&other, cbAll | 0x800);
  for (int kind = 0x1; kind <= 0x400; kind <<= 1) {
    EXPECT_EQ(registry.GetCallback(static_cast<CallbackType>(kind)), &other) << kind;
    EXPECT_EQ(other.GetType(), kind);
  }
  EXPECT_EQ(registry.GetCallback(static_cast<CallbackType>(0x800)), nullptr);
  registry.SetCallback(nullptr, cbAll);
  for (int kind = 0x1; kind <= 0x400; kind <<= 1) {
    EXPECT_EQ(registry.GetCallback(static_cast<CallbackType>(kind)), nullptr) << kind;
  }
}

}  // namespace
