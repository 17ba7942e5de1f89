#ifndef UTK_STATUS_CODES_H
#define UTK_STATUS_CODES_H

// The status values that utilkit raises. Each has a text in the utility
// message module (messages/util.msg).

namespace utk {

inline constexpr unsigned UTK_E_PROPERTY_TYPE = 0xC2010101;  // %1 property name, %2 its type, %3 the type asked for

}  // namespace utk

#endif
