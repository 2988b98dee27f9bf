// PyDispatch.cpp -- brevik.CDispatch: attributes, methods, len, iteration and indexing by name.
#include "bindings/python/PyDispatch.h"

#include <vector>

#include "bindings/python/ComponentCall.h"
#include "client/Enumerator.h"

namespace {

// A method of one object, ready to call: what `z.Zip` gives, so that `z.Zip()` calls it.
struct PyMember {
  PyObject_HEAD
  PyObject* owner;    ///< the CDispatch, kept alive by the method
  std::string* name;  ///< owned
};

// The iterator of a collection, over its IEnumVARIANT.
struct PyEnumerator {
  PyObject_HEAD
  Enumerator* enumerator;  ///< owned
};

DispatchObject& DispatchOf(PyObject* object, const std::string& member) {
  DispatchObject* dispatch = reinterpret_cast<PyDispatch*>(object)->dispatch;
  if (dispatch == nullptr) throw DispatchError(member, E_POINTER, "The object was not created");
  return *dispatch;
}

/// The attribute name as UTF-8; null with an exception set when it is not a str.
const char* NameText(PyObject* name, Py_ssize_t& size) {
  if (!PyUnicode_Check(name)) {
    PyErr_SetString(PyExc_TypeError, "attribute name must be a str");
    return nullptr;
  }
  return PyUnicode_AsUTF8AndSize(name, &size);
}

/// Names Python keeps for itself ("__class__", "_private") are the Python object's own; the
/// automation object's members never begin with "_" except its enumerator.
bool IsPythonName(const char* text, Py_ssize_t size) {
  return size > 0 && text[0] == '_' && std::string_view(text, static_cast<std::size_t>(size)) != "_NewEnum";
}

PyObject* NewMember(ModuleState* state, PyObject* owner, const std::string& name) {
  auto* member = PyObject_New(PyMember, state->memberType);
  if (member == nullptr) return nullptr;
  member->name = new (std::nothrow) std::string(name);
  Py_INCREF(owner);
  member->owner = owner;
  if (member->name == nullptr) {
    Py_DECREF(member);
    return PyErr_NoMemory();
  }
  return reinterpret_cast<PyObject*>(member);
}

void DeallocDispatch(PyObject* object) {
  auto* self = reinterpret_cast<PyDispatch*>(object);
  PyTypeObject* type = Py_TYPE(object);
  delete self->dispatch;
  delete self->methods;
  type->tp_free(object);
  Py_DECREF(type);
}

// z.Name: a property is read as one; a member the object refuses to read as a property (it is
// a method, or needs arguments) becomes a method object, remembered for the next time.
PyObject* GetAttribute(PyObject* object, PyObject* name) {
  Py_ssize_t size = 0;
  const char* text = NameText(name, size);
  if (text == nullptr) return nullptr;
  if (IsPythonName(text, size)) return PyObject_GenericGetAttr(object, name);
  auto* self = reinterpret_cast<PyDispatch*>(object);
  ModuleState* state = StateOf(Py_TYPE(object));
  const std::string member(text, static_cast<std::size_t>(size));
  if (self->methods->count(member) != 0) return NewMember(state, object, member);
  return CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(object, member);
    try {
      const DISPID id = dispatch.Lookup(member);
      VariantValue value;
      {
        const ReleasedGil released;
        value = dispatch.Invoke(id, member, DISPATCH_PROPERTYGET, nullptr, 0);
      }
      return PythonFromVariant(state, value);
    } catch (const DispatchError& error) {
      if (error.code() == DISP_E_UNKNOWNNAME) {
        PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%s' (%s)", Py_TYPE(object)->tp_name,
                     member.c_str(), error.description().c_str());
        return nullptr;
      }
      if (error.code() != DISP_E_MEMBERNOTFOUND && error.code() != DISP_E_BADPARAMCOUNT &&
          error.code() != DISP_E_PARAMNOTOPTIONAL)
        throw;
      self->methods->insert(member);
      return NewMember(state, object, member);
    }
  });
}

// z.Name = value: a property put; an unknown name is an AttributeError, as for any object.
int SetAttribute(PyObject* object, PyObject* name, PyObject* value) {
  Py_ssize_t size = 0;
  const char* text = NameText(name, size);
  if (text == nullptr) return -1;
  if (IsPythonName(text, size)) return PyObject_GenericSetAttr(object, name, value);
  const std::string member(text, static_cast<std::size_t>(size));
  if (value == nullptr) {
    PyErr_Format(PyExc_AttributeError, "the member '%s' of an automation object cannot be deleted", member.c_str());
    return -1;
  }
  ModuleState* state = StateOf(Py_TYPE(object));
  PyObject* done = CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(object, member);
    const VariantValue argument = VariantFromPython(state, value);
    DISPID id = DISPID_UNKNOWN;
    try {
      id = dispatch.Lookup(member);
    } catch (const DispatchError& error) {
      if (error.code() != DISP_E_UNKNOWNNAME) throw;
      PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%s' (%s)", Py_TYPE(object)->tp_name,
                   member.c_str(), error.description().c_str());
      return nullptr;
    }
    const ReleasedGil released;
    dispatch.Invoke(id, member, DISPATCH_PROPERTYPUT, argument.get(), 1);
    return Py_NewRef(Py_None);
  });
  if (done == nullptr) return -1;
  Py_DECREF(done);
  return 0;
}

// len(c): the collection's Count.
Py_ssize_t Length(PyObject* object) {
  ModuleState* state = StateOf(Py_TYPE(object));
  Py_ssize_t count = -1;
  PyObject* done = CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(object, "Count");
    VariantValue value;
    {
      const ReleasedGil released;
      value = dispatch.Get("Count");
    }
    count = value.AsLong(0);
    return Py_NewRef(Py_None);
  });
  if (done == nullptr) return -1;
  Py_DECREF(done);
  return count;
}

PyObject* NewEnumerator(ModuleState* state, PyObject* object, Enumerator&& walk) {
  auto* iterator = PyObject_New(PyEnumerator, state->enumeratorType);
  if (iterator == nullptr) return nullptr;
  iterator->enumerator = new (std::nothrow) Enumerator(std::move(walk));
  (void)object;
  if (iterator->enumerator == nullptr) {
    Py_DECREF(iterator);
    return PyErr_NoMemory();
  }
  return reinterpret_cast<PyObject*>(iterator);
}

// iter(c): the collection's _NewEnum.
PyObject* Iterate(PyObject* object) {
  ModuleState* state = StateOf(Py_TYPE(object));
  return CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(object, "_NewEnum");
    std::optional<Enumerator> walk;
    {
      const ReleasedGil released;
      walk.emplace(dispatch.Enumerate());
    }
    return NewEnumerator(state, object, std::move(*walk));
  });
}

// c[i]: the i-th item counting from 0 through the enumerator, as pywin32 does, so that indexing
// agrees with iteration (the collection's own Item counts from 1).
PyObject* Index(PyObject* object, Py_ssize_t index) {
  ModuleState* state = StateOf(Py_TYPE(object));
  if (index < 0) {
    PyErr_SetString(PyExc_IndexError, "automation collections are indexed from 0 upwards");
    return nullptr;
  }
  return CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(object, "_NewEnum");
    VariantValue item;
    bool found = false;
    {
      const ReleasedGil released;
      Enumerator walk = dispatch.Enumerate();
      found = (index == 0 || walk.Skip(static_cast<unsigned long>(index))) && walk.Next(item);
    }
    if (!found) {
      PyErr_Format(PyExc_IndexError, "index %zd is past the collection's end", index);
      return nullptr;
    }
    return PythonFromVariant(state, item);
  });
}

PyObject* Representation(PyObject* object) {
  return PyUnicode_FromFormat("<%s object at %p>", Py_TYPE(object)->tp_name, object);
}

PyType_Slot dispatchSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(DeallocDispatch)},
    {Py_tp_getattro, reinterpret_cast<void*>(GetAttribute)},
    {Py_tp_setattro, reinterpret_cast<void*>(SetAttribute)},
    {Py_tp_iter, reinterpret_cast<void*>(Iterate)},
    {Py_sq_length, reinterpret_cast<void*>(Length)},
    {Py_sq_item, reinterpret_cast<void*>(Index)},
    {Py_tp_repr, reinterpret_cast<void*>(Representation)},
    {Py_tp_doc, const_cast<char*>("An automation object: its properties and methods are its attributes.")},
    {0, nullptr}};

// --- the bound method ---

void DeallocMember(PyObject* object) {
  auto* self = reinterpret_cast<PyMember*>(object);
  PyTypeObject* type = Py_TYPE(object);
  Py_XDECREF(self->owner);
  delete self->name;
  PyObject_Free(object);
  Py_DECREF(type);
}

PyObject* CallMember(PyObject* object, PyObject* args, PyObject* keywords) {
  auto* self = reinterpret_cast<PyMember*>(object);
  ModuleState* state = StateOf(Py_TYPE(object));
  if (keywords != nullptr && PyDict_GET_SIZE(keywords) != 0) {
    PyErr_Format(PyExc_TypeError, "%s() takes no keyword arguments", self->name->c_str());
    return nullptr;
  }
  return CallComponent(state, [&]() -> PyObject* {
    DispatchObject& dispatch = DispatchOf(self->owner, *self->name);
    const Py_ssize_t count = PyTuple_GET_SIZE(args);
    std::vector<VariantValue> values;
    values.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) values.push_back(VariantFromPython(state, PyTuple_GET_ITEM(args, i)));
    std::vector<VARIANT> arguments;
    arguments.reserve(values.size());
    for (const VariantValue& value : values) arguments.push_back(*value.get());
    VariantValue result;
    {
      const ReleasedGil released;
      result = dispatch.Invoke(dispatch.Lookup(*self->name), *self->name, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                               arguments.data(), arguments.size());
    }
    return PythonFromVariant(state, result);
  });
}

PyType_Slot memberSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(DeallocMember)},
    {Py_tp_call, reinterpret_cast<void*>(CallMember)},
    {Py_tp_doc, const_cast<char*>("A method of an automation object.")},
    {0, nullptr}};

// --- the iterator ---

void DeallocEnumerator(PyObject* object) {
  auto* self = reinterpret_cast<PyEnumerator*>(object);
  PyTypeObject* type = Py_TYPE(object);
  delete self->enumerator;
  PyObject_Free(object);
  Py_DECREF(type);
}

PyObject* NextItem(PyObject* object) {
  auto* self = reinterpret_cast<PyEnumerator*>(object);
  ModuleState* state = StateOf(Py_TYPE(object));
  return CallComponent(state, [&]() -> PyObject* {
    VariantValue item;
    bool more = false;
    {
      const ReleasedGil released;
      more = self->enumerator->Next(item);
    }
    if (!more) return nullptr;  // the end: StopIteration without an exception set
    return PythonFromVariant(state, item);
  });
}

PyType_Slot enumeratorSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(DeallocEnumerator)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(NextItem)},
    {0, nullptr}};

}  // namespace

PyObject* WrapDispatch(ModuleState* state, DispatchObject&& object) {
  auto* wrapped = PyObject_New(PyDispatch, state->dispatchType);
  if (wrapped == nullptr) return nullptr;
  wrapped->dispatch = new (std::nothrow) DispatchObject(std::move(object));
  wrapped->methods = new (std::nothrow) std::unordered_set<std::string>();
  if (wrapped->dispatch == nullptr || wrapped->methods == nullptr) {
    Py_DECREF(wrapped);
    return PyErr_NoMemory();
  }
  return reinterpret_cast<PyObject*>(wrapped);
}

// CDispatch and its helpers are made only by the module: no tp_new, so Python cannot make an
// empty one.
PyType_Spec dispatchSpec = {"brevik.CDispatch", sizeof(PyDispatch), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                            dispatchSlots};
PyType_Spec memberSpec = {"brevik.CDispatchMethod", sizeof(PyMember), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, memberSlots};
PyType_Spec enumeratorSpec = {"brevik.CEnumerator", sizeof(PyEnumerator), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, enumeratorSlots};
