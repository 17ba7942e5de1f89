#include <atomic>

#include "enr/enr_detect_convert.h"

namespace enr {

namespace {

std::atomic<std::int16_t> global_noise{0};
std::atomic<std::int16_t> specified_global_noise{Enr_detect_convert::USE_GLOBAL};

std::int16_t half_of(std::int16_t noise) {
  if (noise <= 0) return 0;
  return noise / 2 > 0 ? static_cast<std::int16_t>(noise / 2) : std::int16_t{1};
}

}  // namespace

std::int16_t Enr_detect_convert::get_noise() const {
  if (m_noise != USE_GLOBAL) return m_noise;
  return half_of(global_noise.load());
}

std::int16_t Enr_detect_convert::get_specified_noise() const {
  if (m_specified_noise != USE_GLOBAL) return m_specified_noise;
  return half_of(get_noise());
}

void Enr_detect_convert::set_noise(std::int16_t noise) {
  if (noise >= USE_GLOBAL) m_noise = noise;
}

void Enr_detect_convert::set_specified_noise(std::int16_t noise) {
  if (noise >= USE_GLOBAL) m_specified_noise = noise;
}

std::int16_t Enr_detect_convert::get_global_noise() { return global_noise.load(); }

std::int16_t Enr_detect_convert::get_specified_global_noise() { return specified_global_noise.load(); }

void Enr_detect_convert::set_global_noise(std::int16_t noise) {
  if (noise >= 0) global_noise.store(noise);
}

void Enr_detect_convert::set_specified_global_noise(std::int16_t noise) {
  if (noise >= 0) specified_global_noise.store(noise);
}

}  // namespace enr
