#ifndef ENR_EXPORT_H
#define ENR_EXPORT_H

// Exported classes and functions of this library; the rest is hidden.
#define ENR_API __attribute__((visibility("default")))

#endif
