// BrevikModule.cpp -- the PHP extension "brevik": its module entry, start, globals and constants.
#include "bindings/php/ComException.h"
#include "bindings/php/ComObject.h"
#include "bindings/php/ExtensionGlobals.h"
#include "frame/module/activation/ComponentActivator.h"
#include "hosting/RegistryStore.h"

#define PHP_BREVIK_VERSION "1.0.0"

ZEND_DECLARE_MODULE_GLOBALS(brevik)

ComponentActivator& ThreadActivator() {
  if (BREVIK_G(activator) == nullptr) BREVIK_G(activator) = new ComponentActivator();
  return *BREVIK_G(activator);
}

namespace {

PHP_GINIT_FUNCTION(brevik) {
#if defined(ZTS) && defined(COMPILE_DL_BREVIK)
  ZEND_TSRMLS_CACHE_UPDATE();
#endif
  brevik_globals->activator = nullptr;
}

PHP_GSHUTDOWN_FUNCTION(brevik) {
  // Every object of every request of this thread is gone by now, so the libraries unload.
  delete brevik_globals->activator;
  brevik_globals->activator = nullptr;
}

// The names and values of PHP's own COM extension, so that pages written for it run unchanged.
void RegisterConstants(int module_number) {
  REGISTER_LONG_CONSTANT("CP_ACP", 0, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_OEMCP", 1, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_MACCP", 2, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_THREAD_ACP", 3, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_SYMBOL", 42, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_UTF7", 65000, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("CP_UTF8", 65001, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("DISP_E_DIVBYZERO", static_cast<int32_t>(0x80020012u), CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("DISP_E_OVERFLOW", DISP_E_OVERFLOW, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("DISP_E_BADINDEX", DISP_E_BADINDEX, CONST_CS | CONST_PERSISTENT);
  REGISTER_LONG_CONSTANT("MK_E_UNAVAILABLE", static_cast<int32_t>(0x800401E3u), CONST_CS | CONST_PERSISTENT);
}

PHP_MINIT_FUNCTION(brevik) {
  (void)type;  // the same start for every server API
  RegisterComException();
  RegisterComClass();
  RegisterConstants(module_number);
  return SUCCESS;
}

PHP_MINFO_FUNCTION(brevik) {
  (void)zend_module;
  php_info_print_table_start();
  php_info_print_table_header(2, "brevik", "enabled");
  php_info_print_table_row(2, "Version", PHP_BREVIK_VERSION);
  php_info_print_table_row(2, "Automation client", "COM class, late-bound (IDispatch)");
  php_info_print_table_row(2, "Registry file", RegistryStore::DefaultPath().c_str());
  php_info_print_table_end();
}

}  // namespace

extern "C" {

zend_module_entry brevik_module_entry = {
    STANDARD_MODULE_HEADER,
    "brevik",
    nullptr,  // functions: the extension adds classes only
    PHP_MINIT(brevik),
    nullptr,  // MSHUTDOWN: the globals' end unloads the libraries
    nullptr,  // RINIT
    nullptr,  // RSHUTDOWN: objects are released as PHP frees them, by the end of the request
    PHP_MINFO(brevik),
    PHP_BREVIK_VERSION,
    PHP_MODULE_GLOBALS(brevik),
    PHP_GINIT(brevik),
    PHP_GSHUTDOWN(brevik),
    nullptr,
    STANDARD_MODULE_PROPERTIES_EX};

#ifdef COMPILE_DL_BREVIK
#ifdef ZTS
ZEND_TSRMLS_CACHE_DEFINE()
#endif
ZEND_GET_MODULE(brevik)
#endif

}  // extern "C"
