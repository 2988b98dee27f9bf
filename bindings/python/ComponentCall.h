// ComponentCall.h -- the frame around every call from Python into an automation object.
#pragma once

#include <new>
#include <optional>

#include "bindings/python/ComError.h"
#include "bindings/python/PythonValues.h"
#include "bindings/python/WsgiPageRequest.h"
#include "frame/module/activation/ComponentActivator.h"
#include "frame/module/activation/HostPageRequest.h"

/// This thread's activator, made on first use and ended with the thread. An object belongs to the
/// thread that made it, and so does the activator that loaded its library.
ComponentActivator& ThreadActivator();

/// Releases the GIL while it lives, so that other Python threads run while a call works on an
/// archive. Nothing of Python may be touched meanwhile.
class ReleasedGil {
public:
  ReleasedGil() : state_(PyEval_SaveThread()) {}
  ~ReleasedGil() { PyEval_RestoreThread(state_); }
  ReleasedGil(const ReleasedGil&) = delete;
  ReleasedGil& operator=(const ReleasedGil&) = delete;

private:
  PyThreadState* state_;
};

/// Runs `call` (which returns a new reference or null) with the innermost page_request block of
/// this thread installed as the component's page request, if there is one; a refused call
/// becomes com_error, no C++ exception goes on into Python.
template <class Call>
PyObject* CallComponent(ModuleState* state, Call&& call) {
  try {
    std::optional<HostPageRequest> installed;
    if (const WsgiPageRequest* request = CurrentWsgiRequest()) installed.emplace(ThreadActivator(), *request);
    return call();
  } catch (const DispatchError& error) {
    RaiseComError(state, error);
  } catch (const PythonErrorPending&) {
    // Python's own exception is already set.
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  return nullptr;
}
