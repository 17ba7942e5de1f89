#include "port/port_module.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>

namespace krn::port {

std::string module_folder(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
  // The loader names a library by the path it opened; the main program only
  // by the name it was started with, which may have no folder at all.
  const std::string path = info.dli_fname;
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void* load_module(const std::string& name, const std::string& folder, int& error) {
  error = 0;
  // The caller's folder stands in for the run path $ORIGIN: a sanitizer's
  // dlopen interceptor hides the caller's own run path from the loader.
  void* handle = nullptr;
  if (name.find('/') == std::string::npos && !folder.empty()) {
    handle = dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle) handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
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
