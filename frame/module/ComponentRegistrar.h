// ComponentRegistrar.h -- writes and removes the library's class and type-library registration.
#pragma once

#include <string>

#include "frame/automation/HResult.h"
#include "hosting/RegistryResult.h"
#include "hosting/RegistryStore.h"

/// The registration of the object map's classes and of the type library BREVIKLib 1.0, under
/// HKEY_CLASSES_ROOT. Each call is one atomic update of the registry file, so two processes
/// registering at once leave one valid copy.
///
/// Written for the ZIP class ({clsid} is its class identifier in braces):
///   Brevik.ZIP.1                     @="ZIP Class"; CLSID @="{clsid}"
///   Brevik.ZIP                       @="ZIP Class"; CLSID @="{clsid}"; CurVer @="Brevik.ZIP.1"
///   CLSID\{clsid}                    @="ZIP Class" (the key and all below it made afresh)
///     ProgID @="Brevik.ZIP.1", VersionIndependentProgID @="Brevik.ZIP", Programmable (empty),
///     InprocServer32 @="<module path>" "ThreadingModel"="Apartment", TypeLib @="{libid}"
/// and for the type library:
///   TypeLib\{libid}\1.0              @="Brevik 1.0 Type Library"
///     409\linux @="<module path>", FLAGS @="0", HELPDIR @="<module folder>"
///   Interface\{iid}                  @="<interface name>" for IZIP, IUnZip and IUnZipEntries
///     TypeLib @="{libid}" "Version"="1.0"
class ComponentRegistrar {
public:
  ComponentRegistrar() = delete;

  /// Writes the whole registration with `modulePath` as the library's path. Other keys in the
  /// file are kept; running it twice leaves one copy.
  static RegistryResult Register(const RegistryStore& store, const std::string& modulePath);

  /// Removes the keys Register writes, except the shared "CLSID", "TypeLib" and "Interface"
  /// keys themselves; a TypeLib\{libid} key left with nothing in it goes too. Keys that are
  /// already missing are no failure.
  static RegistryResult Unregister(const RegistryStore& store);

  /// The full path of the loaded file that holds this code (libbrevik.so, or the program that
  /// links the module statically); empty when the loader cannot say.
  static std::string LoadedModulePath();

  /// The HRESULT a Windows registry call would give for `result`: S_OK, or
  /// HRESULT_FROM_WIN32 of file not found (ENOENT), access denied (EACCES, EPERM, EROFS),
  /// registry database corrupt (EBADMSG), disk full (ENOSPC, EDQUOT), E_INVALIDARG (EINVAL),
  /// E_OUTOFMEMORY (ENOMEM); any other error is E_FAIL.
  static HRESULT ToHResult(const RegistryResult& result) noexcept;
};
