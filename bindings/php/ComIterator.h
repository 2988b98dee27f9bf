// ComIterator.h -- foreach over a COM collection, through its _NewEnum enumerator.
#pragma once

#include "bindings/php/PhpApi.h"

/// The class's get_iterator: walks the object's IEnumVARIANT, keys counting from 0. By-reference
/// iteration is refused (an Error), as it is for every object iterator.
zend_object_iterator* GetComIterator(zend_class_entry* type, zval* object, int byReference);
