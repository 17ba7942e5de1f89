#include "enr/enr_export.h"

// The library's version, for diagnostics.
extern "C" ENR_API const char* enr_library_version() { return "2208"; }
