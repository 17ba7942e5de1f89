#include "tkn/tkn_export.h"

// The library's version, for diagnostics.
extern "C" TKN_API const char* tkn_library_version() { return "2208"; }
