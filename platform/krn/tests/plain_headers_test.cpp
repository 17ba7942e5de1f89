// Every header of the library apart from the XML forms leaves Xerces-C out
// of the code that includes it: a user of statuses, strings and files neither
// compiles against Xerces-C nor links it.

#include "krn/krn_buffer.h"
#include "krn/krn_crc.h"
#include "krn/krn_critical.h"
#include "krn/krn_cwstring.h"
#include "krn/krn_date.h"
#include "krn/krn_date_status_args.h"
#include "krn/krn_exception.h"
#include "krn/krn_export.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_messages.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "krn/krn_system.h"
#include "krn/krn_time.h"
#include "krn/krn_time_zone.h"
#include "krn/krn_tokeniser.h"
#include "krn/krn_types.h"
#include "krn/krn_unicode.h"

#ifdef XERCES_CPP_NAMESPACE
#error "a krnbase header other than krn_status_xml.h includes Xerces-C"
#endif
