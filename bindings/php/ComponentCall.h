// ComponentCall.h -- the frame around every call from PHP into an automation object.
#pragma once

#include <new>

#include "bindings/php/ComException.h"
#include "bindings/php/ComValues.h"
#include "bindings/php/ExtensionGlobals.h"
#include "bindings/php/PhpPageRequest.h"
#include "frame/module/activation/HostPageRequest.h"

/// Runs `call` with the running PHP request installed as the page request in every component
/// library this thread loaded, so that the component judges the call by the script PHP executes
/// and asks PHP's open_basedir about its paths. A refused call becomes a com_exception; no C++
/// exception goes on into the engine. True when `call` finished without one.
template <class Call>
bool CallComponent(Call&& call) {
  try {
    const PhpPageRequest page;
    const HostPageRequest installed(ThreadActivator(), page);
    call();
    return true;
  } catch (const DispatchError& error) {
    ThrowComException(error);
  } catch (const PhpExceptionPending&) {
    // PHP's own exception is already set.
  } catch (const std::bad_alloc&) {
    zend_throw_error(nullptr, "Out of memory in a COM call");
  }
  return false;
}
