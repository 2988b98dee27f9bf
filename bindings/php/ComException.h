// ComException.h -- com_exception, and how a refused call becomes one.
#pragma once

#include <string>

#include "bindings/php/PhpApi.h"
#include "client/DispatchError.h"

/// The class entry of `com_exception` (a subclass of Exception), set by RegisterComException.
extern zend_class_entry* com_exception_class;

/// Registers `com_exception`; called once from the module's start.
void RegisterComException();

/// Throws a com_exception whose code is `code` (the HRESULT as a signed 32-bit number, as PHP's
/// own COM extension gives it) and whose message is `message`.
void ThrowComException(HRESULT code, const std::string& message);

/// Throws the com_exception for a refused member call: "Unable to lookup `NAME': MEANING" for a
/// name the object does not have, "Parameter N: MEANING" (N from 1) for an argument that does not
/// convert,
/// else the object's description or the code's meaning.
void ThrowComException(const DispatchError& error);
