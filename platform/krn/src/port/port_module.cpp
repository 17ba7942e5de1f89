#include "port/port_module.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>

namespace krn::port {

void* load_module(const std::string& name, int& error) {
  error = 0;
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  // dlopen does not set errno reliably; a module that cannot be loaded is,
  // for the caller, a missing file.
  if (!handle) error = ENOENT;
  return handle;
}

void unload_module(void* handle) {
  if (handle) dlclose(handle);
}

void* find_symbol(void* handle, const char* name) { return handle ? dlsym(handle, name) : nullptr; }

std::string error_text(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  if (!text || strncmp(text, "Unknown error", 13) == 0) return {};
  return text;
}

}  // namespace krn::port
