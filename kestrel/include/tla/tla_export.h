#ifndef TLA_EXPORT_H
#define TLA_EXPORT_H

// Exported classes and functions of this library; the rest is hidden.
#define TLA_API __attribute__((visibility("default")))

#endif
