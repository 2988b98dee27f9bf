// ProductOperations.cpp -- which classes do the archive work of each ZIP method in this build.
#include "scripting/ZipOperations.h"

#include "scripting/CDelete.h"
#include "scripting/CExtract.h"
#include "scripting/CUnZip.h"
#include "scripting/CZipNow.h"

namespace {

// UnZip and List share the collection's fill; the request's operation tells them apart.
std::string FillCollection(const ZipRequest& request, ComPtr<IDispatch>& collection) {
  ComPtr<CUnZip> made;
  if (FAILED(CUnZip::Create(made))) return "Out of memory";
  const std::string result = made->Fill(request);
  if (result.empty()) collection = ComPtr<IDispatch>(static_cast<IUnZip*>(made.Get()));
  return result;
}

class ProductZipOperations final : public ZipOperations {
public:
  std::string Zip(const ZipRequest& request) override { return CZipNow().Zip(request); }
  std::string UnZip(const ZipRequest& request, ComPtr<IDispatch>& collection) override {
    return FillCollection(request, collection);
  }
  std::string List(const ZipRequest& request, ComPtr<IDispatch>& collection) override {
    return FillCollection(request, collection);
  }
  std::string Extract(const ZipRequest& request) override { return CExtract().Extract(request); }
  std::string Delete(const ZipRequest& request) override { return CDelete().Delete(request); }
};

}  // namespace

std::shared_ptr<ZipOperations> ProductOperations() {
  // Stateless, so one instance serves every object on every thread.
  static const std::shared_ptr<ZipOperations> operations = std::make_shared<ProductZipOperations>();
  return operations;
}
