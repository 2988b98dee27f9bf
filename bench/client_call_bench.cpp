// client_call_bench.cpp -- the cost of a member call through the C++ late-bound client, the
// baseline that a language binding's crossing is measured against (bench/php/crossing_bench.php).
//
// Usage: client_call_bench ARCHIVE [CALLS]. The object is created by programmatic identifier
// through the registry ($BREVIK_REGISTRY), as the bindings create it. Prints one line per case:
// "name nanoseconds-per-call" (for the walk: seconds for the whole walk).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/DispatchObject.h"
#include "client/Enumerator.h"
#include "frame/module/activation/ComponentActivator.h"
#include "frame/module/activation/HostPageRequest.h"
#include "hosting/MappedPageRequest.h"

namespace {

using Clock = std::chrono::steady_clock;

double NanosecondsPerCall(Clock::time_point start, long calls) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(calls);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: client_call_bench ARCHIVE [CALLS]\n");
    return 2;
  }
  const std::string archive = argv[1];
  const long calls = argc > 2 ? std::atol(argv[2]) : 1000000;
  ComponentActivator activator;
  ComPtr<IDispatch> created;
  std::string error;
  if (FAILED(activator.CreateObject("Brevik.ZIP", created, error))) {
    std::fprintf(stderr, "client_call_bench: %s\n", error.c_str());
    return 1;
  }
  DispatchObject zip(created.Detach());
  // Every call installs a page request, as a binding does around each call, so that both sides
  // pay for the same work in the component.
  const MappedPageRequest page;
  const VariantValue path = VariantValue::Text("/tmp/bench.zip");
  const VariantValue empty = VariantValue::Text("");

  auto start = Clock::now();
  for (long i = 0; i < calls; ++i) {
    const HostPageRequest installed(activator, page);
    zip.Put("ZipFile", path);
  }
  std::printf("property_put %.1f\n", NanosecondsPerCall(start, calls));

  start = Clock::now();
  for (long i = 0; i < calls; ++i) {
    const HostPageRequest installed(activator, page);
    zip.Call("Add", {&empty});
  }
  std::printf("method_call %.1f\n", NanosecondsPerCall(start, calls));

  start = Clock::now();
  for (long i = 0; i < calls; ++i) {
    const HostPageRequest installed(activator, page);
    (void)zip.Get("IsError");
  }
  std::printf("property_get %.1f\n", NanosecondsPerCall(start, calls));

  zip.Put("ZipFile", VariantValue::Text(archive));
  start = Clock::now();
  long entries = 0;
  {
    VariantValue list;
    {
      const HostPageRequest installed(activator, page);
      list = zip.Call("List");
    }
    DispatchObject collection = DispatchObject::FromVariant(list);
    Enumerator walk = [&] {
      const HostPageRequest installed(activator, page);
      return collection.Enumerate();
    }();
    VariantValue item;
    for (;;) {
      bool more = false;
      {
        const HostPageRequest installed(activator, page);
        more = walk.Next(item);
      }
      if (!more) break;
      DispatchObject entry = DispatchObject::FromVariant(item);
      const HostPageRequest installed(activator, page);
      if (!entry.Get("Name").AsText().empty()) ++entries;
    }
  }
  const double walkSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("list_walk %.3f %ld\n", walkSeconds, entries);
  return 0;
}
