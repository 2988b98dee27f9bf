// ExtensionGlobals.h -- the extension's per-thread state: the activator that loads components.
#pragma once

#include "bindings/php/PhpApi.h"

class ComponentActivator;

ZEND_BEGIN_MODULE_GLOBALS(brevik)
  /// Made on the first `new COM` of a thread (the registry path is read then, from that
  /// process's environment: a PHP-FPM pool sets it for its workers, not for the master) and kept
  /// until the thread ends, so that a library stays loaded between requests.
  ComponentActivator* activator;
ZEND_END_MODULE_GLOBALS(brevik)

ZEND_EXTERN_MODULE_GLOBALS(brevik)
#define BREVIK_G(v) ZEND_MODULE_GLOBALS_ACCESSOR(brevik, v)

/// This thread's activator, made on first use; throws std::bad_alloc when out of memory.
ComponentActivator& ThreadActivator();
