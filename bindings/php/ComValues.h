// ComValues.h -- PHP values to automation values and back, as PHP's own COM extension converts them.
#pragma once

#include "bindings/php/PhpApi.h"
#include "client/VariantValue.h"

/// A PHP exception is already pending (a conversion PHP itself refused); the call stops there.
struct PhpExceptionPending {};

/// The automation value of `value`: null -> VT_NULL, booleans -> VT_BOOL, integers -> VT_I4 (VT_I8
/// when they need more than 32 bits), floats -> VT_R8, strings -> VT_BSTR (the bytes read as
/// UTF-8), a COM object -> its VT_DISPATCH, another object -> its string form. An array or a
/// resource throws DispatchError DISP_E_TYPEMISMATCH for argument `position` (0-based); an object
/// without a string form throws PhpExceptionPending.
VariantValue VariantFromZval(zval* value, unsigned position);

/// The PHP value of `value` into `result`: VT_EMPTY and VT_NULL -> null, numbers -> int or float,
/// VT_BOOL -> bool, VT_BSTR -> a UTF-8 string, an object reference -> a new COM object (null for
/// a null reference or one without IDispatch), any other type -> its string form, or null when
/// it has none.
void ZvalFromVariant(zval* result, const VariantValue& value);
