#ifndef ENR_DETECTOR_STATUS_H
#define ENR_DETECTOR_STATUS_H

// The status values the encoding detector raises; their texts are in the
// utility message module. Each carries the text of the exception that ended
// the step.

namespace enr {

inline constexpr unsigned ENR_E_INPUT_TEXT = 0xC2011E00;      // %1 why the text could not be read
inline constexpr unsigned ENR_E_LOAD_FEATURES = 0xC2011E01;   // %1 why the generators could not be made
inline constexpr unsigned ENR_E_FEATURE_VALUES = 0xC2011E02;  // %1 why a generator failed
inline constexpr unsigned ENR_E_CLASSIFIER = 0xC2011E03;      // %1 why the classifier failed
inline constexpr unsigned ENR_E_NO_DETECTOR = 0xC2011E04;

}  // namespace enr

#endif
