#ifndef ENR_STATUS_CODES_H
#define ENR_STATUS_CODES_H

// The status values that encsense raises. Each has a text in the utility
// message module (messages/util.msg).

namespace enr {

inline constexpr unsigned ENR_E_UNKNOWN_ENCODING = 0xC2010B00;     // %1 the name, or the value as an integer
inline constexpr unsigned ENR_E_NOISE_LIMIT = 0xC2010B05;          // %1 the tolerated noise in percent
inline constexpr unsigned ENR_E_ALIAS_TAKEN = 0xC2010B08;          // %1 the alias
inline constexpr unsigned ENR_E_DOMAIN_NAME = 0xC2010B10;          // %1 the domain name IDNA refused
inline constexpr unsigned ENR_E_READER_NOT_ATTACHED = 0xC2011E05;  // %1 the reader's encoding name

}  // namespace enr

#endif
