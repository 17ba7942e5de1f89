#include "utk/utk_export.h"

// The library's version, for diagnostics.
extern "C" UTK_API const char* utk_library_version() { return "2208"; }
