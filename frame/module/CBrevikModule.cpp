// CBrevikModule.cpp -- the loaded library's state: its class-object cache, guarded by its lock.
#include "frame/module/CBrevikModule.h"

#include <type_traits>

#include "frame/automation/ComPtr.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/module/CClassFactory.h"

namespace {

// Constant-initialised and never destroyed: the runtime may run the library's end function
// before or after ordinary static destructors, and both must find the module intact.
constinit CBrevikModule theModule;

static_assert(std::is_trivially_destructible_v<std::mutex>,
              "the module's state must survive static destruction");

}  // namespace

CBrevikModule& CBrevikModule::Instance() noexcept { return theModule; }

void CBrevikModule::Init() noexcept {
  const std::lock_guard<std::mutex> guard(lock_);
  terminated_ = false;
}

void CBrevikModule::Term() noexcept {
  IClassFactory* released[kObjectMapEntries] = {};
  {
    const std::lock_guard<std::mutex> guard(lock_);
    terminated_ = true;
    for (std::size_t i = 0; i < kObjectMapEntries; ++i) {
      released[i] = classObjects_[i];
      classObjects_[i] = nullptr;
    }
  }
  for (IClassFactory* classObject : released) {
    if (classObject != nullptr) classObject->Release();
  }
}

HRESULT CBrevikModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const auto map = ModuleObjectMap();
  std::size_t index = 0;
  while (index < map.size() && !IsEqualCLSID(*map[index].clsid, clsid)) ++index;
  if (index == map.size()) return CLASS_E_CLASSNOTAVAILABLE;

  ComPtr<IClassFactory> classObject;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    if (terminated_) return E_UNEXPECTED;
    if (classObjects_[index] == nullptr) {
      classObjects_[index] = CClassFactory::Create(map[index]);
      if (classObjects_[index] == nullptr) return E_OUTOFMEMORY;
    }
    // Taken under the lock so that Term cannot release the object in between.
    classObject = ComPtr<IClassFactory>(classObjects_[index]);
  }
  return classObject->QueryInterface(iid, object);
}

HRESULT CBrevikModule::CanUnloadNow() const noexcept {
  return ModuleLockCount::Current() == 0 ? S_OK : S_FALSE;
}
