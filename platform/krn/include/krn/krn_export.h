#ifndef KRN_EXPORT_H
#define KRN_EXPORT_H

// Classes and functions of krnbase that other libraries and programs may use.
// Everything else is hidden (the library is built with -fvisibility=hidden).
#define KRN_API __attribute__((visibility("default")))

#endif
