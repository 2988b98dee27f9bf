// ProductOperations.cpp -- which classes do the archive work of each ZIP method in this build.
#include "scripting/ZipOperations.h"

namespace {

// The text every method ends with while its operation class is not part of the build.
constexpr const char* kNotAvailable = "This operation is not available in this build";

class ProductZipOperations final : public ZipOperations {
public:
  std::string Zip(const ZipRequest&) override { return kNotAvailable; }
  std::string UnZip(const ZipRequest&, ComPtr<IDispatch>&) override { return kNotAvailable; }
  std::string List(const ZipRequest&, ComPtr<IDispatch>&) override { return kNotAvailable; }
  std::string Extract(const ZipRequest&) override { return kNotAvailable; }
  std::string Delete(const ZipRequest&) override { return kNotAvailable; }
};

}  // namespace

std::shared_ptr<ZipOperations> ProductOperations() {
  // Stateless, so one instance serves every object on every thread.
  static const std::shared_ptr<ZipOperations> operations = std::make_shared<ProductZipOperations>();
  return operations;
}
