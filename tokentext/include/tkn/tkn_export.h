#ifndef TKN_EXPORT_H
#define TKN_EXPORT_H

// Exported classes and functions of this library; the rest is hidden.
#define TKN_API __attribute__((visibility("default")))

#endif
