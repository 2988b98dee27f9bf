// ComValues.cpp -- PHP values to automation values and back, as PHP's own COM extension converts them.
#include "bindings/php/ComValues.h"

#include <string>
#include <string_view>

#include "bindings/php/ComObject.h"

VariantValue VariantFromZval(zval* value, unsigned position) {
  ZVAL_DEREF(value);
  switch (Z_TYPE_P(value)) {
    case IS_UNDEF:
    case IS_NULL: return VariantValue::Null();
    case IS_FALSE: return VariantValue::Bool(false);
    case IS_TRUE: return VariantValue::Bool(true);
    case IS_LONG: return VariantValue::Integer(Z_LVAL_P(value));
    case IS_DOUBLE: return VariantValue::Double(Z_DVAL_P(value));
    case IS_STRING: return VariantValue::Text(std::string_view(Z_STRVAL_P(value), Z_STRLEN_P(value)));
    case IS_OBJECT: {
      if (instanceof_function(Z_OBJCE_P(value), com_class)) {
        ComObject* object = ComObjectOf(Z_OBJ_P(value));
        return VariantValue::Object(object->dispatch ? object->dispatch->get() : nullptr);
      }
      zend_string* text = zval_try_get_string(value);
      if (text == nullptr) throw PhpExceptionPending{};
      VariantValue converted = VariantValue::Text(std::string_view(ZSTR_VAL(text), ZSTR_LEN(text)));
      zend_string_release(text);
      return converted;
    }
    default: throw DispatchError("argument", DISP_E_TYPEMISMATCH, std::string(), position);
  }
}

void ZvalFromVariant(zval* result, const VariantValue& value) {
  const VARIANT& v = *value.get();
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: ZVAL_NULL(result); return;
    case VT_BOOL: ZVAL_BOOL(result, v.boolVal != 0); return;
    case VT_I1: ZVAL_LONG(result, v.cVal); return;
    case VT_UI1: ZVAL_LONG(result, v.bVal); return;
    case VT_I2: ZVAL_LONG(result, v.iVal); return;
    case VT_UI2: ZVAL_LONG(result, v.uiVal); return;
    case VT_I4: ZVAL_LONG(result, v.lVal); return;
    case VT_UI4: ZVAL_LONG(result, static_cast<zend_long>(v.ulVal)); return;
    case VT_INT: ZVAL_LONG(result, v.intVal); return;
    case VT_UINT: ZVAL_LONG(result, static_cast<zend_long>(v.uintVal)); return;
    case VT_I8: ZVAL_LONG(result, static_cast<zend_long>(v.llVal)); return;
    case VT_UI8:
      // Beyond PHP's integers the value goes on as a float, as PHP's own arithmetic does.
      if (v.ullVal > static_cast<ULONGLONG>(ZEND_LONG_MAX)) ZVAL_DOUBLE(result, static_cast<double>(v.ullVal));
      else ZVAL_LONG(result, static_cast<zend_long>(v.ullVal));
      return;
    case VT_ERROR: ZVAL_LONG(result, v.scode); return;
    case VT_R4: ZVAL_DOUBLE(result, v.fltVal); return;
    case VT_R8: ZVAL_DOUBLE(result, v.dblVal); return;
    case VT_BSTR: {
      const std::string text = Utf8FromBstr(v.bstrVal);
      ZVAL_STRINGL(result, text.data(), text.size());
      return;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      DispatchObject object = DispatchObject::FromVariant(v);
      if (object.get() == nullptr) ZVAL_NULL(result);
      else WrapDispatch(result, std::move(object));
      return;
    }
    default: {
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) {
        ZVAL_NULL(result);
        return;
      }
      const std::string utf8 = Utf8FromBstr(text.bstrVal);
      VariantClear(&text);
      ZVAL_STRINGL(result, utf8.data(), utf8.size());
      return;
    }
  }
}
