// PhpApi.h -- the PHP engine's headers, as every file of the extension includes them.
#pragma once

#ifdef HAVE_CONFIG_H
#include "config.h"
#endif

#include "php.h"
#include "SAPI.h"
#include "ext/standard/info.h"
#include "main/fopen_wrappers.h"
#include "zend_exceptions.h"
#include "zend_interfaces.h"

// Thread-safe PHP builds keep the engine's globals per thread; every file reaches them through
// the extension's one cache, updated when a thread starts.
#if defined(ZTS) && defined(COMPILE_DL_BREVIK)
ZEND_TSRMLS_CACHE_EXTERN()
#endif
