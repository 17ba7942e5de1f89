#ifndef UTK_EXPORT_H
#define UTK_EXPORT_H

// Exported classes and functions of this library; the rest is hidden.
#define UTK_API __attribute__((visibility("default")))

#endif
