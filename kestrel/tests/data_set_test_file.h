#ifndef DATA_SET_TEST_FILE_H
#define DATA_SET_TEST_FILE_H

// A small writer of data set files for the reader's tests and the fuzz
// target. It spells the layout out byte by byte on its own, so that a
// misreading shared with the format code would show as a disagreement, and
// it lets a test bend any part of a file (hashes, counts, offsets) while
// keeping the rest valid.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "krn/krn_crc.h"

namespace data_set_test {

inline void put_le(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void put_be(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void set_le(std::string& out, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::uint64_t get_le(const std::string& in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(in[at + i]);
  return value;
}

inline void pad8(std::string& out) {
  while (out.size() % 8 != 0) out.push_back('\0');
}

// The key hash: CRC-64 over the CRCs as stored (big-endian), register all
// ones, complemented.
inline std::uint64_t key_hash(const std::vector<std::uint64_t>& crcs) {
  std::string bytes;
  for (std::uint64_t crc : crcs) put_be(bytes, crc, 8);
  return krn::Krn_crc64::calculate(bytes.data(), bytes.size());
}

// The checksum over offset 16 to the end, register all ones, not complemented.
inline void seal(std::string& file) {
  krn::Krn_crc64 crc;
  if (file.size() > 16) crc.update(file.data() + 16, file.size() - 16);
  if (file.size() >= 16) set_le(file, 8, crc.result(false), 8);
}

struct Field {
  std::string name;
  std::string formatter;
};

struct Plan {
  std::vector<Field> fields;
  std::vector<std::string> keys;
  std::uint16_t version = 2;
  // Version 2: per record, per field, the token CRCs.
  std::vector<std::vector<std::vector<std::uint64_t>>> records;
  // Version 1: per record, per field, the text (scrambled with key).
  std::vector<std::vector<std::string>> texts;
  unsigned char scramble_key[8] = {};
  // The hash stored for record r in key index k; by default the key hash of
  // the key field's CRCs (version 1: 0).
  std::function<std::uint64_t(std::size_t r, std::size_t k)> hash;
  // Entries per key index; by default one per record.
  std::function<bool(std::size_t r, std::size_t k)> keep_entry;
  std::optional<std::uint32_t> record_count;
  std::optional<std::uint16_t> key_count;
  // Called once the records are written, with the file so far: a test may
  // change or cut the data area here. The indexes still point at the
  // records as planned, and the index offset is wherever the data ends.
  std::function<void(std::string& file, const std::vector<std::uint64_t>& record_offsets)> bend_data;
};

struct Built {
  std::string bytes;
  std::uint64_t data_start = 0;
  std::uint64_t index_offset = 0;
  std::vector<std::uint64_t> record_offsets;  // in record order
  std::vector<std::uint64_t> entries_start;   // per key index
};

inline Built build(const Plan& plan) {
  Built built;
  std::string& out = built.bytes;
  out.assign("QRFFDaSe");
  out.append(24, '\0');
  for (const Field& field : plan.fields) {
    out += field.name;
    out.push_back('\n');
    out += field.formatter;
    out.push_back('\0');
  }
  out.push_back('\0');
  pad8(out);
  built.data_start = out.size();

  const std::size_t count = plan.version == 1 ? plan.texts.size() : plan.records.size();
  for (std::size_t r = 0; r < count; ++r) {
    built.record_offsets.push_back(out.size());
    if (plan.version == 1) {
      std::string plain;
      for (std::size_t f = 0; f < plan.texts[r].size(); ++f) {
        if (f > 0) plain.push_back('\n');
        plain += plan.texts[r][f];
      }
      plain.push_back('\0');
      for (char c : plain) {
        out.push_back(static_cast<char>(c ^ plan.scramble_key[(out.size() - built.data_start) % 8]));
      }
    } else {
      for (const auto& crcs : plan.records[r]) {
        put_be(out, crcs.size(), 2);
        for (std::uint64_t crc : crcs) put_be(out, crc, 8);
      }
      out.push_back('\0');
    }
  }
  if (plan.bend_data) plan.bend_data(out, built.record_offsets);
  built.index_offset = out.size();

  for (std::size_t k = 0; k < plan.keys.size(); ++k) {
    out += plan.keys[k];
    out.push_back('\0');
    pad8(out);
    built.entries_start.push_back(out.size());
    std::size_t key_field = 0;
    while (key_field < plan.fields.size() && plan.fields[key_field].name != plan.keys[k]) ++key_field;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
    for (std::size_t r = 0; r < count; ++r) {
      if (plan.keep_entry && !plan.keep_entry(r, k)) continue;
      std::uint64_t hash = 0;
      if (plan.hash) {
        hash = plan.hash(r, k);
      } else if (plan.version != 1 && key_field < plan.records[r].size()) {
        hash = key_hash(plan.records[r][key_field]);
      }
      entries.emplace_back(hash, built.record_offsets[r]);
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [hash, offset] : entries) {
      put_le(out, hash, 8);
      put_le(out, offset, 8);
    }
  }

  set_le(out, 16, built.index_offset, 8);
  set_le(out, 24, plan.version, 2);
  set_le(out, 26, plan.key_count.value_or(static_cast<std::uint16_t>(plan.keys.size())), 2);
  set_le(out, 28, plan.record_count.value_or(static_cast<std::uint32_t>(count)), 4);
  seal(out);
  return built;
}

// A fresh folder under the system's temporary folder, removed with the object.
class Temp_folder {
 public:
  Temp_folder() {
    std::random_device seed;
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto candidate =
          std::filesystem::temp_directory_path() / ("kestrel-data-set-" + std::to_string(seed()) + std::to_string(attempt));
      if (std::filesystem::create_directory(candidate, error)) {
        m_path = candidate;
        return;
      }
    }
  }
  ~Temp_folder() {
    std::error_code error;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, error);
  }
  Temp_folder(const Temp_folder&) = delete;
  Temp_folder& operator=(const Temp_folder&) = delete;

  const std::filesystem::path& path() const { return m_path; }

  // Writes the bytes to a file of the folder; returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string file = (m_path / name).string();
    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
    }
    return file;
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace data_set_test

#endif
