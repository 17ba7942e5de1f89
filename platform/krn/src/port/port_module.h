#ifndef KRN_PORT_MODULE_H
#define KRN_PORT_MODULE_H

// Loadable modules and the operating system's error texts.

#include <string>

namespace krn::port {

// Loads a module by file name through the loader's search path (the run path
// of this library first). Returns null and sets error on failure.
void* load_module(const std::string& name, int& error);
void unload_module(void* handle);
void* find_symbol(void* handle, const char* name);

// The system's text for an error number; empty when it has none.
std::string error_text(int error);

}  // namespace krn::port

#endif
