// ComObject.cpp -- the PHP class COM: creation, members by name, the default member and count.
#include "bindings/php/ComObject.h"

#include <cstring>
#include <string>
#include <vector>

#include "bindings/php/ComIterator.h"
#include "bindings/php/ComponentCall.h"
#include "frame/module/activation/ComponentActivator.h"

zend_class_entry* com_class = nullptr;

namespace {

zend_object_handlers comHandlers;

// Code pages: a Linux host's ANSI code page is UTF-8, so these three name the same conversion.
constexpr zend_long kCodePageAnsi = 0;        // CP_ACP
constexpr zend_long kCodePageThreadAnsi = 3;  // CP_THREAD_ACP
constexpr zend_long kCodePageUtf8 = 65001;    // CP_UTF8

zend_object* CreateComObject(zend_class_entry* type) {
  auto* object = static_cast<ComObject*>(zend_object_alloc(sizeof(ComObject), type));
  object->dispatch = nullptr;
  zend_object_std_init(&object->std, type);
  object_properties_init(&object->std, type);
  object->std.handlers = &comHandlers;
  return &object->std;
}

void FreeComObject(zend_object* zendObject) {
  ComObject* object = ComObjectOf(zendObject);
  // Releasing the reference may free the automation object; it needs no page request.
  delete object->dispatch;
  object->dispatch = nullptr;
  zend_object_std_dtor(zendObject);
}

std::string NameOf(const zend_string* name) { return std::string(ZSTR_VAL(name), ZSTR_LEN(name)); }

/// The bitwise VARIANTs of `values` in order, for DispatchObject::Invoke (the values keep them).
std::vector<VARIANT> Arguments(const std::vector<VariantValue>& values) {
  std::vector<VARIANT> arguments;
  arguments.reserve(values.size());
  for (const VariantValue& value : values) arguments.push_back(*value.get());
  return arguments;
}

/// Calls the default member (DISPID_VALUE) with `index`, as `$object[index]` reads it.
bool ReadDefaultMember(zend_object* object, zval* index, zval* result) {
  return CallComponent([&] {
    DispatchObject& dispatch = DispatchOf(object, "Item");
    const VariantValue argument = VariantFromZval(index, 0);
    const VariantValue value =
        dispatch.Invoke(DISPID_VALUE, "Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, argument.get(), 1);
    ZvalFromVariant(result, value);
  });
}

zval* ReadDimension(zend_object* object, zval* offset, int type, zval* rv) {
  (void)type;
  if (offset == nullptr) {
    zend_throw_error(nullptr, "Cannot append to a COM object");
    return &EG(uninitialized_zval);
  }
  if (!ReadDefaultMember(object, offset, rv)) return &EG(uninitialized_zval);
  return rv;
}

void WriteDimension(zend_object* object, zval* offset, zval* value) {
  if (offset == nullptr) {
    zend_throw_error(nullptr, "Cannot append to a COM object");
    return;
  }
  CallComponent([&] {
    DispatchObject& dispatch = DispatchOf(object, "Item");
    std::vector<VariantValue> values;
    values.push_back(VariantFromZval(offset, 0));
    values.push_back(VariantFromZval(value, 1));
    const std::vector<VARIANT> arguments = Arguments(values);
    dispatch.Invoke(DISPID_VALUE, "Item", DISPATCH_PROPERTYPUT, arguments.data(), arguments.size());
  });
}

int HasDimension(zend_object* object, zval* offset, int checkEmpty) {
  zval value;
  ZVAL_UNDEF(&value);
  if (!ReadDefaultMember(object, offset, &value)) {
    // isset() answers, it does not throw: an index the collection refuses is simply not set.
    zend_clear_exception();
    return 0;
  }
  const int present = checkEmpty ? zend_is_true(&value) : Z_TYPE(value) != IS_NULL;
  zval_ptr_dtor(&value);
  return present;
}

void UnsetDimension(zend_object* object, zval* offset) {
  (void)object;
  (void)offset;
  ThrowComException(E_NOTIMPL, "Cannot delete items of a COM object");
}

zend_result CountElements(zend_object* object, zend_long* count) {
  const bool counted = CallComponent([&] {
    const VariantValue value = DispatchOf(object, "Count").Get("Count");
    *count = value.AsLong(0);
  });
  return counted ? SUCCESS : FAILURE;
}

}  // namespace

DispatchObject& DispatchOf(zend_object* object, const std::string& member) {
  ComObject* com = ComObjectOf(object);
  if (com->dispatch == nullptr) throw DispatchError(member, E_POINTER, "The COM object was not created");
  return *com->dispatch;
}

void WrapDispatch(zval* result, DispatchObject&& object) {
  object_init_ex(result, com_class);
  ComObjectOf(Z_OBJ_P(result))->dispatch = new DispatchObject(std::move(object));
}

PHP_METHOD(COM, __construct) {
  zend_string* moduleName = nullptr;
  zval* serverName = nullptr;
  zend_long codePage = kCodePageUtf8;
  zend_string* typeLibrary = nullptr;
  ZEND_PARSE_PARAMETERS_START(1, 4)
    Z_PARAM_STR(moduleName)
    Z_PARAM_OPTIONAL
    Z_PARAM_ZVAL(serverName)
    Z_PARAM_LONG(codePage)
    Z_PARAM_STR(typeLibrary)
  ZEND_PARSE_PARAMETERS_END();

  const std::string progId = NameOf(moduleName);
  if (serverName != nullptr && Z_TYPE_P(serverName) != IS_NULL) {
    ThrowComException(E_INVALIDARG, "Failed to create COM object `" + progId +
                                        "': remote activation is not supported; objects are created in this process");
    RETURN_THROWS();
  }
  if (codePage != kCodePageAnsi && codePage != kCodePageThreadAnsi && codePage != kCodePageUtf8) {
    ThrowComException(E_INVALIDARG, "Failed to create COM object `" + progId + "': code page " +
                                        std::to_string(codePage) + " is not supported (CP_ACP and CP_UTF8 are UTF-8 here)");
    RETURN_THROWS();
  }
  if (typeLibrary != nullptr && ZSTR_LEN(typeLibrary) != 0)
    php_error_docref(nullptr, E_WARNING, "Type libraries are not loaded; \"%s\" is ignored", ZSTR_VAL(typeLibrary));

  ComObject* object = ComObjectOf(Z_OBJ_P(ZEND_THIS));
  try {
    ComPtr<IDispatch> created;
    std::string error;
    const HRESULT hr = ThreadActivator().CreateObject(progId, created, error);
    if (FAILED(hr)) {
      ThrowComException(hr, "Failed to create COM object `" + progId + "': " + error);
      RETURN_THROWS();
    }
    delete object->dispatch;
    object->dispatch = new DispatchObject(created.Detach());
  } catch (const std::bad_alloc&) {
    zend_throw_error(nullptr, "Out of memory creating a COM object");
    RETURN_THROWS();
  }
}

PHP_METHOD(COM, __get) {
  zend_string* name = nullptr;
  ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_STR(name)
  ZEND_PARSE_PARAMETERS_END();
  CallComponent([&] {
    DispatchObject& dispatch = DispatchOf(Z_OBJ_P(ZEND_THIS), NameOf(name));
    const std::string member = NameOf(name);
    const VariantValue value = dispatch.Invoke(dispatch.Lookup(member), member, DISPATCH_PROPERTYGET, nullptr, 0);
    ZvalFromVariant(return_value, value);
  });
}

PHP_METHOD(COM, __set) {
  (void)return_value;  // a property put has no result
  zend_string* name = nullptr;
  zval* value = nullptr;
  ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_STR(name)
    Z_PARAM_ZVAL(value)
  ZEND_PARSE_PARAMETERS_END();
  CallComponent([&] {
    const std::string member = NameOf(name);
    DispatchObject& dispatch = DispatchOf(Z_OBJ_P(ZEND_THIS), member);
    const VariantValue argument = VariantFromZval(value, 0);
    dispatch.Invoke(dispatch.Lookup(member), member, DISPATCH_PROPERTYPUT, argument.get(), 1);
  });
}

PHP_METHOD(COM, __isset) {
  zend_string* name = nullptr;
  ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_STR(name)
  ZEND_PARSE_PARAMETERS_END();
  // A member the object knows is set; asking must not throw.
  const bool known = CallComponent([&] {
    const std::string member = NameOf(name);
    DispatchOf(Z_OBJ_P(ZEND_THIS), member).Lookup(member);
  });
  if (!known) zend_clear_exception();
  RETURN_BOOL(known);
}

PHP_METHOD(COM, __call) {
  zend_string* name = nullptr;
  HashTable* argumentTable = nullptr;
  ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_STR(name)
    Z_PARAM_ARRAY_HT(argumentTable)
  ZEND_PARSE_PARAMETERS_END();
  CallComponent([&] {
    const std::string member = NameOf(name);
    DispatchObject& dispatch = DispatchOf(Z_OBJ_P(ZEND_THIS), member);
    std::vector<VariantValue> values;
    values.reserve(zend_hash_num_elements(argumentTable));
    zval* argument = nullptr;
    ZEND_HASH_FOREACH_VAL(argumentTable, argument) {
      values.push_back(VariantFromZval(argument, static_cast<unsigned>(values.size())));
    }
    ZEND_HASH_FOREACH_END();
    const std::vector<VARIANT> arguments = Arguments(values);
    const VariantValue result = dispatch.Invoke(dispatch.Lookup(member), member, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                arguments.data(), arguments.size());
    ZvalFromVariant(return_value, result);
  });
}

namespace {

ZEND_BEGIN_ARG_INFO_EX(arginfo_com_construct, 0, 0, 1)
  ZEND_ARG_TYPE_INFO(0, module_name, IS_STRING, 0)
  ZEND_ARG_TYPE_MASK(0, server_name, MAY_BE_ARRAY | MAY_BE_STRING | MAY_BE_NULL, "null")
  ZEND_ARG_TYPE_INFO_WITH_DEFAULT_VALUE(0, codepage, IS_LONG, 0, "CP_UTF8")
  ZEND_ARG_TYPE_INFO_WITH_DEFAULT_VALUE(0, typelib, IS_STRING, 0, "\"\"")
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_com_get, 0, 1, IS_MIXED, 0)
  ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_com_set, 0, 2, IS_VOID, 0)
  ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
  ZEND_ARG_TYPE_INFO(0, value, IS_MIXED, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_com_isset, 0, 1, _IS_BOOL, 0)
  ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_WITH_RETURN_TYPE_INFO_EX(arginfo_com_call, 0, 2, IS_MIXED, 0)
  ZEND_ARG_TYPE_INFO(0, name, IS_STRING, 0)
  ZEND_ARG_TYPE_INFO(0, arguments, IS_ARRAY, 0)
ZEND_END_ARG_INFO()

const zend_function_entry comMethods[] = {
    PHP_ME(COM, __construct, arginfo_com_construct, ZEND_ACC_PUBLIC)
    PHP_ME(COM, __get, arginfo_com_get, ZEND_ACC_PUBLIC)
    PHP_ME(COM, __set, arginfo_com_set, ZEND_ACC_PUBLIC)
    PHP_ME(COM, __isset, arginfo_com_isset, ZEND_ACC_PUBLIC)
    PHP_ME(COM, __call, arginfo_com_call, ZEND_ACC_PUBLIC)
    PHP_FE_END};

}  // namespace

void RegisterComClass() {
  zend_class_entry entry;
  INIT_CLASS_ENTRY(entry, "COM", comMethods);
  com_class = zend_register_internal_class(&entry);
  com_class->create_object = CreateComObject;
  // foreach asks the class for its iterator whatever interfaces it names, as PHP's own COM
  // classes are walked; Traversable is reserved for classes with Iterator methods.
  com_class->get_iterator = GetComIterator;
  com_class->ce_flags |= ZEND_ACC_FINAL | ZEND_ACC_NO_DYNAMIC_PROPERTIES | ZEND_ACC_NOT_SERIALIZABLE;

  std::memcpy(&comHandlers, &std_object_handlers, sizeof comHandlers);
  comHandlers.offset = XtOffsetOf(ComObject, std);
  comHandlers.free_obj = FreeComObject;
  comHandlers.clone_obj = nullptr;  // an automation reference is not a value to copy
  comHandlers.read_dimension = ReadDimension;
  comHandlers.write_dimension = WriteDimension;
  comHandlers.has_dimension = HasDimension;
  comHandlers.unset_dimension = UnsetDimension;
  comHandlers.count_elements = CountElements;
}
