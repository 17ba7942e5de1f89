#ifndef KRN_STATUS_CODES_H
#define KRN_STATUS_CODES_H

// The status values that krnbase raises. Each has a text in the platform
// message module (messages/plat.msg); a test checks that none is missing.

namespace krn {

inline constexpr unsigned KRN_E_NO_MEMORY = 0xC2000001;               // no memory, or a heap block is missing
inline constexpr unsigned KRN_E_MESSAGE_FILE_LOAD = 0xC2000002;       // %1 message file name
inline constexpr unsigned KRN_W_MESSAGE_FILE_LOADED = 0x82000003;     // %1 message file name
inline constexpr unsigned KRN_E_NOT_ATTACHED = 0xC2000017;            // stream has no buffer
inline constexpr unsigned KRN_E_SEEK_RANGE = 0xC2000018;              // seek outside the addressable range
inline constexpr unsigned KRN_E_END_OF_DATA = 0xC2000019;             // end of file, buffer or data
inline constexpr unsigned KRN_E_WRITE = 0xC200001A;                   // a write or flush failed
inline constexpr unsigned KRN_E_READ = 0xC200001B;                    // a read failed, or count too large
inline constexpr unsigned KRN_E_LINE_CUT = 0xC200001C;                // line cut at its maximum length or unterminated
inline constexpr unsigned KRN_E_EMPTY_FILE_NAME = 0xC200001D;         // %1 the (empty) name
inline constexpr unsigned KRN_E_FILE_NOT_FOUND = 0xC200001E;          // %1 file name
inline constexpr unsigned KRN_E_NOT_A_FILE = 0xC200001F;              // %1 file name
inline constexpr unsigned KRN_E_CREATE_NEEDS_WRITE = 0xC2000025;      // create-or-truncate without write access
inline constexpr unsigned KRN_E_OPEN = 0xC2000026;                    // %1 file name
inline constexpr unsigned KRN_E_SEEK = 0xC2000027;                    // a seek failed
inline constexpr unsigned KRN_E_FILE_NOT_OPEN = 0xC2000028;           // operation on a closed file
inline constexpr unsigned KRN_E_SHORT_INTEGER = 0xC200002A;           // fewer bytes than an integer's width
inline constexpr unsigned KRN_E_NO_FILE = 0xC2000031;                 // file buffer without a file
inline constexpr unsigned KRN_E_HAS_FILE = 0xC2000032;                // file buffer already has a file
inline constexpr unsigned KRN_E_OUTPUT_STREAM = 0xC2000033;           // second output stream, or read-only buffer
inline constexpr unsigned KRN_E_ALREADY_OPEN = 0xC200005D;            // file already open
inline constexpr unsigned KRN_E_TRUNCATE = 0xC2000063;                // truncation failed
inline constexpr unsigned KRN_E_UNKNOWN_EXCEPTION = 0xC200006A;       // a non-standard exception was caught
inline constexpr unsigned KRN_E_STD_EXCEPTION = 0xC200006B;           // %1 the exception's message
inline constexpr unsigned KRN_E_STRING_BUFFER_LIMIT = 0xC200008F;     // limited string buffer full
inline constexpr unsigned KRN_E_SWAP_LIMIT = 0xC2000090;              // heap buffer swap limit reached
inline constexpr unsigned KRN_E_ICU_INVALID_CHAR = 0xC200009E;        // Unicode library: invalid character
inline constexpr unsigned KRN_E_ICU_TRUNCATED_CHAR = 0xC200009F;      // Unicode library: truncated character
inline constexpr unsigned KRN_E_ICU_ILLEGAL_CHAR = 0xC20000A0;        // Unicode library: illegal character
inline constexpr unsigned KRN_E_ICU_ERROR = 0xC20000A1;               // %1 the Unicode library's error code
inline constexpr unsigned KRN_E_ICU_ILLEGAL_ESCAPE = 0xC20000A2;      // Unicode library: illegal escape
inline constexpr unsigned KRN_E_ICU_UNSUPPORTED_ESCAPE = 0xC20000A3;  // Unicode library: unsupported escape
inline constexpr unsigned KRN_E_WINDOW_END_CONNECTED = 0xC20000A4;    // window end changed with streams connected
inline constexpr unsigned KRN_E_WINDOW_END_BEFORE_START = 0xC20000A5; // window end before its start
inline constexpr unsigned KRN_E_FILE_LOCK = 0xC20000B0;               // %1 file name: a region lock or unlock failed (pushed)
inline constexpr unsigned KRN_E_FILE_COPY = 0xC20000B1;               // %1 source, %2 target: copying a file failed (pushed)
inline constexpr unsigned KRN_E_FILE_MOVE = 0xC20000B2;               // %1 source, %2 target: renaming a file failed (pushed)
inline constexpr unsigned KRN_E_FILE_REMOVE = 0xC20000B3;             // %1 file name: removing a file failed (pushed)
inline constexpr unsigned KRN_E_FILE_INFO = 0xC20000B4;               // %1 file name: its times could not be read (pushed)
inline constexpr unsigned KRN_E_CREATE_IN_FOLDER = 0xC20000B5;        // %1 folder: a new file could not be made there (pushed)
inline constexpr unsigned KRN_E_FILE_LINK = 0xC20000B6;               // %1 name: a finished file could not be given its name (pushed)
inline constexpr unsigned KRN_E_FREE_SPACE = 0xC20000B7;              // %1 folder: its free space could not be read (pushed)

}  // namespace krn

#endif
