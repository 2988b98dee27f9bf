// EngineErrorText.cpp -- turning a caught engine failure into the text a script reads.
#include "scripting/EngineErrorText.h"

#include <new>

#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

std::string EngineErrorText(std::exception_ptr failure) noexcept {
  try {
    try {
      std::rethrow_exception(failure);
    } catch (const CZipException& error) {
      return error.GetErrorDescription();
    } catch (const CZipFileException& error) {
      return error.GetErrorDescription();
    } catch (const std::bad_alloc&) {
      return "Out of memory";
    } catch (const std::exception& error) {
      return error.what();
    } catch (...) {
      return "Unknown error";
    }
  } catch (...) {
    // Copying the description ran out of memory. An empty text would read as success; this one
    // is short enough to live inside the string object without an allocation.
    return "Out of memory";
  }
}
