// PythonValues.cpp -- Python values to automation values and back.
#include "bindings/python/PythonValues.h"

#include <string>
#include <string_view>

#include "bindings/python/PyDispatch.h"

VariantValue VariantFromPython(ModuleState* state, PyObject* value) {
  if (value == Py_None) return VariantValue::Null();
  if (PyBool_Check(value)) return VariantValue::Bool(value == Py_True);  // before int: bool is one
  if (PyLong_Check(value)) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) {
      PyErr_SetString(PyExc_OverflowError, "int too large to convert to a VARIANT (more than 64 bits)");
      throw PythonErrorPending{};
    }
    if (number == -1 && PyErr_Occurred()) throw PythonErrorPending{};
    return VariantValue::Integer(number);
  }
  if (PyFloat_Check(value)) return VariantValue::Double(PyFloat_AsDouble(value));
  if (PyUnicode_Check(value)) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &size);
    if (text == nullptr) throw PythonErrorPending{};
    return VariantValue::Text(std::string_view(text, static_cast<std::size_t>(size)));
  }
  if (PyObject_TypeCheck(value, state->dispatchType)) {
    DispatchObject* dispatch = reinterpret_cast<PyDispatch*>(value)->dispatch;
    return VariantValue::Object(dispatch ? dispatch->get() : nullptr);
  }
  PyErr_Format(PyExc_TypeError, "Objects of type '%s' can not be converted to a COM VARIANT", Py_TYPE(value)->tp_name);
  throw PythonErrorPending{};
}

PyObject* PythonFromVariant(ModuleState* state, const VariantValue& value) {
  const VARIANT& v = *value.get();
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: Py_RETURN_NONE;
    case VT_BOOL: return PyBool_FromLong(v.boolVal != 0);
    case VT_I1: return PyLong_FromLong(v.cVal);
    case VT_UI1: return PyLong_FromLong(v.bVal);
    case VT_I2: return PyLong_FromLong(v.iVal);
    case VT_UI2: return PyLong_FromLong(v.uiVal);
    case VT_I4: return PyLong_FromLong(v.lVal);
    case VT_UI4: return PyLong_FromUnsignedLong(v.ulVal);
    case VT_INT: return PyLong_FromLong(v.intVal);
    case VT_UINT: return PyLong_FromUnsignedLong(v.uintVal);
    case VT_I8: return PyLong_FromLongLong(v.llVal);
    case VT_UI8: return PyLong_FromUnsignedLongLong(v.ullVal);
    case VT_ERROR: return PyLong_FromLong(v.scode);
    case VT_R4: return PyFloat_FromDouble(v.fltVal);
    case VT_R8: return PyFloat_FromDouble(v.dblVal);
    case VT_BSTR: {
      const std::string text = Utf8FromBstr(v.bstrVal);
      return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      DispatchObject object = DispatchObject::FromVariant(v);
      if (object.get() == nullptr) Py_RETURN_NONE;
      return WrapDispatch(state, std::move(object));
    }
    default: {
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) Py_RETURN_NONE;
      const std::string utf8 = Utf8FromBstr(text.bstrVal);
      VariantClear(&text);
      return PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
    }
  }
}
