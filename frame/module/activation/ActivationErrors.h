// ActivationErrors.h -- the result codes activation by programmatic identifier fails with.
#pragma once

#include "frame/automation/HResult.h"

// The Windows values of the codes the object runtime gives for the same failures.
/// The programmatic identifier is not registered or names no valid class identifier.
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
/// The class identifier has no InprocServer32 library registered.
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
/// The registry could not be read (missing permission, damaged file).
inline constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
/// The library was loaded but lacks an entry point.
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
/// The library cannot be loaded (HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)).
inline constexpr HRESULT HRESULT_MOD_NOT_FOUND = static_cast<HRESULT>(0x8007007Eu);
