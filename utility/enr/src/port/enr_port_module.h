#ifndef ENR_PORT_MODULE_H
#define ENR_PORT_MODULE_H

// The one place where encsense asks the operating system something.

#include <string>

namespace enr::port {

// The folder of the file this library was loaded from, with its trailing
// separator; empty when the loader cannot say.
std::string module_folder();

}  // namespace enr::port

#endif
