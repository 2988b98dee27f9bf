// ComIterator.cpp -- foreach over a COM collection, through its _NewEnum enumerator.
#include "bindings/php/ComIterator.h"

#include "bindings/php/ComObject.h"
#include "bindings/php/ComponentCall.h"
#include "client/Enumerator.h"

namespace {

/// The engine's iterator first (it is handed out as one), then the walk's own state.
struct ComIterator {
  zend_object_iterator base;
  Enumerator* enumerator;  ///< owned
  zval current;            ///< the item the loop sees; UNDEF past the end
  zend_long key;           ///< the item's position, from 0
  bool started;            ///< whether an item was fetched since the enumerator was made
};

ComIterator* IteratorOf(zend_object_iterator* base) { return reinterpret_cast<ComIterator*>(base); }

void FetchNext(ComIterator* iterator) {
  zval_ptr_dtor(&iterator->current);
  ZVAL_UNDEF(&iterator->current);
  CallComponent([&] {
    VariantValue item;
    if (!iterator->enumerator->Next(item)) return;
    ZvalFromVariant(&iterator->current, item);
    ++iterator->key;
  });
  iterator->started = true;
}

void Destroy(zend_object_iterator* base) {
  ComIterator* iterator = IteratorOf(base);
  delete iterator->enumerator;
  iterator->enumerator = nullptr;
  zval_ptr_dtor(&iterator->current);
  zval_ptr_dtor(&iterator->base.data);
}

int Valid(zend_object_iterator* base) { return Z_TYPE(IteratorOf(base)->current) != IS_UNDEF ? SUCCESS : FAILURE; }

zval* CurrentData(zend_object_iterator* base) { return &IteratorOf(base)->current; }

void CurrentKey(zend_object_iterator* base, zval* key) { ZVAL_LONG(key, IteratorOf(base)->key); }

void MoveForward(zend_object_iterator* base) { FetchNext(IteratorOf(base)); }

void Rewind(zend_object_iterator* base) {
  ComIterator* iterator = IteratorOf(base);
  // A new enumerator stands at the first item already; only a walk under way goes back.
  if (iterator->started) {
    const bool reset = CallComponent([&] { iterator->enumerator->Reset(); });
    if (!reset) return;
  }
  iterator->key = -1;
  FetchNext(iterator);
}

const zend_object_iterator_funcs iteratorFunctions = {
    Destroy, Valid, CurrentData, CurrentKey, MoveForward, Rewind, nullptr, nullptr,
};

}  // namespace

zend_object_iterator* GetComIterator(zend_class_entry* type, zval* object, int byReference) {
  (void)type;
  if (byReference) {
    zend_throw_error(nullptr, "An iterator cannot be used with foreach by reference");
    return nullptr;
  }
  Enumerator* enumerator = nullptr;
  const bool made = CallComponent([&] { enumerator = new Enumerator(DispatchOf(Z_OBJ_P(object), "_NewEnum").Enumerate()); });
  if (!made) return nullptr;
  auto* iterator = static_cast<ComIterator*>(emalloc(sizeof(ComIterator)));
  zend_iterator_init(&iterator->base);
  ZVAL_OBJ_COPY(&iterator->base.data, Z_OBJ_P(object));
  iterator->base.funcs = &iteratorFunctions;
  iterator->enumerator = enumerator;
  ZVAL_UNDEF(&iterator->current);
  iterator->key = -1;
  iterator->started = false;
  return &iterator->base;
}
