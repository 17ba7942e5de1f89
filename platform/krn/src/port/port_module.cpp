#include "port/port_module.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>

namespace krn::port {

namespace {

// The folder this library was loaded from, with a trailing slash.
std::string own_folder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&own_folder), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void* load_module(const std::string& name, int& error) {
  error = 0;
  // A bare name is looked for beside this library first, as the run path
  // $ORIGIN would: a sanitizer's dlopen interceptor hides the caller's own
  // run path from the loader.
  void* handle = nullptr;
  if (name.find('/') == std::string::npos) {
    static const std::string folder = own_folder();
    if (!folder.empty()) handle = dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
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
