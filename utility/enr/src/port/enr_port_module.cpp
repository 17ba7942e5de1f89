#include "port/enr_port_module.h"

#include <dlfcn.h>

namespace enr::port {

namespace {
// Any address inside this library identifies its file to the loader.
void module_anchor() {}
}  // namespace

std::string module_folder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&module_anchor), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path = info.dli_fname;
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace enr::port
