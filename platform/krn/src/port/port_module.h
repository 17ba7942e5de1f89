#ifndef KRN_PORT_MODULE_H
#define KRN_PORT_MODULE_H

// Loadable modules and the operating system's error texts.

#include <string>

namespace krn::port {

// The folder, with a trailing slash, of the loaded file (library or program)
// that holds the address; empty when the address lies in none.
std::string module_folder(const void* address);

// Loads a module by file name: a bare name is looked for in folder first
// (when it is not empty), then through the loader's search path. Returns
// null and sets error on failure.
void* load_module(const std::string& name, const std::string& folder, int& error);
void unload_module(void* handle);
void* find_symbol(void* handle, const char* name);

// The system's text for an error number; empty when it has none.
std::string error_text(int error);

}  // namespace krn::port

#endif
