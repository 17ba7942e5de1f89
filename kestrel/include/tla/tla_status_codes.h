#ifndef TLA_STATUS_CODES_H
#define TLA_STATUS_CODES_H

// The status values that the tool raises. They share facility 0x201 with the
// utility and encoding libraries; their texts are in messages/util.msg, and a
// test checks that none is missing.

namespace tla {

inline constexpr unsigned TLA_E_FIELD_LIST = 0xC2012510;           // field names repeat, or the descriptor list is empty or cut
inline constexpr unsigned TLA_E_KEY_NOT_IN_SCHEMA = 0xC2012511;    // %1 key name
inline constexpr unsigned TLA_W_DUPLICATE_RECORD = 0x82012512;     // a repeated record was left out of a key index
inline constexpr unsigned TLA_E_RECORD_FIELD_COUNT = 0xC2012513;   // a version-1 record has the wrong number of values
inline constexpr unsigned TLA_E_DATA_SET_TOO_LARGE = 0xC2012514;   // records times keys too many for the block table
inline constexpr unsigned TLA_E_DATA_SET_NOT_OPEN = 0xC2012515;    // open failed, or used before open and load
inline constexpr unsigned TLA_E_CHECKSUM = 0xC201251A;             // stored and computed checksums differ
inline constexpr unsigned TLA_E_FILE_DAMAGED = 0xC2012521;         // %1 file name
inline constexpr unsigned TLA_E_VERSION = 0xC2012522;              // %1 file name
inline constexpr unsigned TLA_E_RECORD_DAMAGED = 0xC2012525;       // a version-2 record terminator is not 0x00
inline constexpr unsigned TLA_E_FIELD_MISSING = 0xC2012526;        // %1 field name
inline constexpr unsigned TLA_E_NO_SEARCH_TOKENS = 0xC2012527;     // the search value gives no token view
inline constexpr unsigned TLA_E_EMPTY_KEY = 0xC2012528;            // a key field is empty after trimming

// Raised by the tool's build and upgrade runs. Record-level failures name
// the field and the line of the input file (in an upgrade: the record's
// number in the old file) in their arguments.
inline constexpr unsigned TLA_E_TOO_MANY_TOKENS = 0xC2012529;      // %1 field name, %2 line: over 65535 tokens
inline constexpr unsigned TLA_E_TOO_MANY_RECORDS = 0xC201252A;     // more records than a data set can count
inline constexpr unsigned TLA_E_INTERMEDIATE_FILE = 0xC201252B;    // %1 folder: the intermediate file cannot be made there
inline constexpr unsigned TLA_E_NOT_UTF8 = 0xC201252C;             // %1 field name, %2 line
inline constexpr unsigned TLA_E_NUL_BYTE = 0xC201252D;             // %1 field name, %2 line
inline constexpr unsigned TLA_E_NO_RECORDS = 0xC201252E;           // %1 input file name
inline constexpr unsigned TLA_E_RECORD_NOT_STORED = 0xC201252F;    // %1 line: pushed over a failure to cut a value

// The checks a run makes before it touches a file, and what names a line
// of the input that the run refused.
inline constexpr unsigned TLA_E_SCHEMA_ITEM = 0xC2012540;          // %1 item: not a pair of names
inline constexpr unsigned TLA_E_UNKNOWN_FORMATTER = 0xC2012541;    // %1 formatter name, %2 field name
inline constexpr unsigned TLA_E_KEY_WITHOUT_TOKENS = 0xC2012542;   // %1 field name, %2 line: a key formatted to nothing
inline constexpr unsigned TLA_E_FIELD_COUNT_AT = 0xC2012543;       // %1 input, %2 line, %3 fields found, %4 expected
inline constexpr unsigned TLA_E_LINE_END_AT = 0xC2012544;          // %1 input, %2 line: a CR without LF
inline constexpr unsigned TLA_E_OUTPUT_EXISTS = 0xC2012545;        // %1 output name: something has that name already
inline constexpr unsigned TLA_E_OUTPUT_IS_FOLDER = 0xC2012546;     // %1 output name: names a folder
inline constexpr unsigned TLA_E_NAME_NOT_UTF8 = 0xC2012547;        // a file name that is not UTF-8
inline constexpr unsigned TLA_E_OPTION_REPEATED = 0xC2012549;      // %1 option: given twice

// The memory budget and the disk space of a build.
inline constexpr unsigned TLA_E_MEMORY_SETTING = 0xC201254A;       // %1 the KESTREL_MEMORY text
inline constexpr unsigned TLA_E_MEMORY_TOO_SMALL = 0xC201254B;     // %1 budget, %2 runs, %3 bytes the merge needs
inline constexpr unsigned TLA_E_DISK_SPACE = 0xC201254C;           // %1 folder, %2 MB needed, %3 MB free
inline constexpr unsigned TLA_E_SPILL_FILE = 0xC201254D;           // %1 folder: the sorted runs could not be kept there

// Inputs in other encodings.
inline constexpr unsigned TLA_E_INPUT_ENCODING_AT = 0xC201254E;    // %1 input, %2 line, %3 encoding: a sequence it cannot read
inline constexpr unsigned TLA_E_UNKNOWN_ENCODING = 0xC201254F;     // %1 the name given with -e
inline constexpr unsigned TLA_E_ENCODING_NOT_FOUND = 0xC2012550;   // %1 input: -e auto found no encoding

// Raised by the deep check of a data set file (verify), each as the child of
// TLA_E_FILE_DAMAGED naming the file. Every one names in its arguments the
// file offset where the problem shows.
inline constexpr unsigned TLA_E_UNKNOWN_VERSION = 0xC2012530;           // %1 version, %2 offset: neither 1 nor 2
inline constexpr unsigned TLA_E_FIELD_FORMATTER_UNKNOWN = 0xC2012531;   // %1 field name, %2 offset, %3 formatter name
inline constexpr unsigned TLA_E_REPEATED_FIELD_NAME = 0xC2012532;       // %1 field name, %2 offset of its second descriptor
inline constexpr unsigned TLA_E_RECORD_OUTSIDE_DATA = 0xC2012533;       // %1 record offset: runs past the data area
inline constexpr unsigned TLA_E_RECORD_TERMINATOR = 0xC2012534;         // %1 record offset, %2 offset of the byte that is not 0x00
inline constexpr unsigned TLA_E_RECORD_COUNT_DIFFERS = 0xC2012535;      // %1 header's count, %2 offset where the records part from it
inline constexpr unsigned TLA_E_RECORD_VALUE_COUNT = 0xC2012536;        // %1 record offset, %2 field count (version 1)
inline constexpr unsigned TLA_E_RECORD_TEXT_NOT_UTF8 = 0xC2012537;      // %1 record offset (version 1)
inline constexpr unsigned TLA_E_INDEX_NAME = 0xC2012538;                // %1 key name, %2 offset: no field of that name
inline constexpr unsigned TLA_E_INDEX_NOT_SORTED = 0xC2012539;          // %1 entry offset: hash below the previous one
inline constexpr unsigned TLA_E_INDEX_NOT_A_RECORD = 0xC201253A;        // %1 entry offset, %2 offset where no record begins
inline constexpr unsigned TLA_E_INDEX_REPEATS_RECORD = 0xC201253B;      // %1 entry offset, %2 record offset named before
inline constexpr unsigned TLA_E_INDEX_KEY_HASH = 0xC201253C;            // %1 entry offset, %2 record offset: wrong key hash

}  // namespace tla

#endif
