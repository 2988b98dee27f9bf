// InprocServer.h -- a component library loaded into a host with dlopen, and its entry points.
#pragma once

#include <memory>
#include <string>

#include "frame/automation/Guid.h"
#include "frame/automation/HResult.h"
#include "hosting/PageRequest.h"

/// One loaded in-process server library (libbrevik.so or another with the same four exports).
/// The library is unloaded only when its DllCanUnloadNow answers S_OK: unloading it under a live
/// object would leave that object's code unmapped. A server destroyed while the library still
/// answers S_FALSE leaves the library loaded for the rest of the process.
class InprocServer {
public:
  /// Loads the library at `path` (RTLD_NOW, RTLD_LOCAL) and finds its DllGetClassObject and
  /// DllCanUnloadNow into `server`. HRESULT_MOD_NOT_FOUND when it cannot be loaded,
  /// CO_E_ERRORINDLL when it lacks either export (see frame/automation/HResult.h); `error` says why.
  static HRESULT Load(const std::string& path, std::unique_ptr<InprocServer>& server, std::string& error);

  /// Loads the library at `path`, calls its DllRegisterServer (or DllUnregisterServer when
  /// `unregister`) and unloads it again, as a registration tool does. The export's result, or
  /// an HRESULT for a library that cannot be loaded (see frame/automation/HResult.h), with `error` set
  /// on failure.
  static HRESULT RegisterLibrary(const std::string& path, bool unregister, std::string& error);

  ~InprocServer();
  InprocServer(const InprocServer&) = delete;
  InprocServer& operator=(const InprocServer&) = delete;

  /// The library's DllGetClassObject; E_UNEXPECTED once it has been unloaded.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
  /// The library's DllCanUnloadNow; S_OK once it has been unloaded.
  HRESULT CanUnloadNow() const;
  /// Installs `request` as the calling thread's page request inside the library (its
  /// BrevikExchangePageRequest) and gives back the one installed before. A library without that
  /// export, or one already unloaded, has no page requests: null is given back.
  const PageRequest* ExchangePageRequest(const PageRequest* request) const;
  /// Unloads the library when DllCanUnloadNow answers S_OK; true when it is (now) unloaded.
  bool UnloadIfUnused();

  /// Whether the library is still loaded through this server.
  bool loaded() const { return handle_ != nullptr; }
  /// The path the library was loaded from.
  const std::string& path() const { return path_; }

  using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFunction = HRESULT (*)();
  using ExchangePageRequestFunction = const PageRequest* (*)(const PageRequest*);
  /// Only Load can name this, so only Load makes servers.
  class LoadedTag {
    friend class InprocServer;
    LoadedTag() = default;
  };
  InprocServer(LoadedTag, std::string path, void* handle, GetClassObjectFunction getClassObject,
               CanUnloadNowFunction canUnloadNow, ExchangePageRequestFunction exchangePageRequest) noexcept;

private:

  std::string path_;
  void* handle_;
  GetClassObjectFunction getClassObject_;
  CanUnloadNowFunction canUnloadNow_;
  ExchangePageRequestFunction exchangePageRequest_;  ///< null when the library has no such export
};
