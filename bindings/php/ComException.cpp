// ComException.cpp -- com_exception, and how a refused call becomes one.
#include "bindings/php/ComException.h"

zend_class_entry* com_exception_class = nullptr;

void RegisterComException() {
  zend_class_entry entry;
  INIT_CLASS_ENTRY(entry, "com_exception", nullptr);
  com_exception_class = zend_register_internal_class_ex(&entry, zend_ce_exception);
  com_exception_class->ce_flags |= ZEND_ACC_FINAL;
}

void ThrowComException(HRESULT code, const std::string& message) {
  zend_throw_exception(com_exception_class, message.c_str(), static_cast<zend_long>(code));
}

void ThrowComException(const DispatchError& error) {
  std::string message = error.description();
  if (error.code() == DISP_E_UNKNOWNNAME) {
    message = "Unable to lookup `" + error.member() + "': " + message;
  } else if (error.code() == DISP_E_TYPEMISMATCH || error.code() == DISP_E_PARAMNOTFOUND) {
    message = "Parameter " + std::to_string(error.argumentIndex() + 1) + ": " + message;
  }
  ThrowComException(error.code(), message);
}
