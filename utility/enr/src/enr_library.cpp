#include <unicode/putil.h>
#include <unicode/ucnv.h>

#include "enr/enr_export.h"
#include "enr_library_init.h"
#include "enr_name_table.h"
#include "krn/krn_system.h"

// The library's version, for diagnostics.
extern "C" ENR_API const char* enr_library_version() { return "2208"; }

namespace enr::detail {
namespace {

// ICU looks for a data file beside the library; a build whose data is linked
// into ICU itself passes the check whatever the folder holds.
struct Library_initialiser {
  Library_initialiser() {
    const std::string folder = krn::krn_module_folder(this);
    if (!folder.empty()) u_setDataDirectory(folder.c_str());
    check_converters(ucnv_countAvailable(), U_ICUDATA_NAME, folder);
    Name_table::instance().rebuild();
  }
};

const Library_initialiser library_initialiser;

}  // namespace
}  // namespace enr::detail
