// ZipObjectTestSupport.h -- a ZIP object wired to a recording operation set, for frame tests.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScriptDispatch.h"
#include "scripting/CZIP.h"
#include "support/HostingPolicyInstall.h"

namespace brevik::test {

/// Records each request it is handed and answers with `resultText`; for UnZip and List it
/// hands out `collection`. `failure` makes every call throw instead.
class RecordingOperations final : public ZipOperations {
public:
  enum class Failure { None, RuntimeError, NonStandard };

  std::string resultText;
  Failure failure = Failure::None;
  ComPtr<IDispatch> collection;
  std::vector<ZipRequest> requests;  ///< a copy of each request, in call order

  std::string Zip(const ZipRequest& request) override { return Record(request, OpZip); }
  std::string UnZip(const ZipRequest& request, ComPtr<IDispatch>& out) override {
    out = collection;
    return Record(request, OpUnZip);
  }
  std::string List(const ZipRequest& request, ComPtr<IDispatch>& out) override {
    out = collection;
    return Record(request, OpList);
  }
  std::string Extract(const ZipRequest& request) override { return Record(request, OpExtract); }
  std::string Delete(const ZipRequest& request) override { return Record(request, OpDelete); }

  /// The last request seen; fails the test when there was none.
  const ZipRequest& Last() const {
    if (requests.empty()) throw std::logic_error("no operation ran");
    return requests.back();
  }

private:
  std::string Record(const ZipRequest& request, ZipOperation expected) {
    EXPECT_EQ(request.operation, expected);
    requests.push_back(request);
    if (failure == Failure::RuntimeError) throw std::runtime_error("disk on fire");
    if (failure == Failure::NonStandard) throw 42;
    return resultText;
  }
};

/// A ZIP object driven by name, with its operations recorded. No hosting policy applies (a
/// scratch machine without the product family) unless a test writes one into `policy`.
struct ZipObjectFixture {
  HostingPolicyInstall policy;
  std::shared_ptr<RecordingOperations> operations = std::make_shared<RecordingOperations>();
  ScriptObject zip = Create(operations);

  static ScriptObject Create(std::shared_ptr<ZipOperations> operations) {
    IDispatch* object = nullptr;
    EXPECT_EQ(CZIP::CreateInstanceWith(std::move(operations), nullptr, IID_IDispatch,
                                       reinterpret_cast<void**>(&object)),
              S_OK);
    ScriptObject script(object);
    if (object) object->Release();
    return script;
  }
};

}  // namespace brevik::test
