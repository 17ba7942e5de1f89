#include "tla/tla_records.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <cstring>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "enr/enr_convert.h"
#include "enr/enr_status_codes.h"
#include "krn/krn_file.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_value_shortcut.h"
#include "tla/tla_writer.h"
#include "tla_text_rules.h"

namespace tla {

namespace {

constexpr unsigned char TAB = 0x09;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;
constexpr unsigned char BOM_1 = 0xEF;
constexpr char BOM[] = "\xEF\xBB\xBF";

bool is_key_position(const std::vector<std::uint64_t>& key_positions, std::size_t position) {
  return std::find(key_positions.begin(), key_positions.end(), position) != key_positions.end();
}

}  // namespace

// ---- Encoding ----------------------------------------------------------------

// The stored form of values the codec had to cut lately, per field: names and
// places repeat throughout an export, and cutting is the costly step. The
// codec gives the same tokens for the same text, so a value found here is
// stored exactly as cutting it again would store it.
struct Tla_record_encoder::Cache {
  static constexpr std::size_t LIMIT = 8192;
  std::vector<std::unordered_map<std::string, std::string>> fields;
  std::vector<Tla_value_format> formats;

  void prepare(const Tla_schema& schema) {
    if (formats.size() == schema.size()) return;
    fields.assign(schema.size(), {});
    formats.clear();
    for (const Tla_field_descriptor& field : schema) formats.push_back(tla_value_format(field.formatter_type));
  }
  const std::string* find(std::size_t field, std::string_view value) const {
    const auto& map = fields[field];
    const auto it = map.find(std::string(value));
    return it == map.end() ? nullptr : &it->second;
  }
  void store(std::size_t field, std::string_view value, const char* stored, std::size_t size) {
    auto& map = fields[field];
    // Forgetting all at once keeps the memory bounded without bookkeeping;
    // the values that matter come back at once.
    if (map.size() >= LIMIT) map.clear();
    map.emplace(std::string(value), std::string(stored, size));
  }
};

Tla_record_encoder::Tla_record_encoder() : m_cache(std::make_unique<Cache>()) {}

Tla_record_encoder::~Tla_record_encoder() = default;

void Tla_record_encoder::write_field_tokens(const krn::Wstring& formatted_value, const krn::Wstring& field_name,
                                            std::uint64_t line, std::string& out, krn::Krn_status& status) {
  m_cutter.cut(formatted_value, m_crcs, status);
  if (!status.ok()) {
    status.push(TLA_E_RECORD_NOT_STORED, krn::Krn_uint_status_arg(line));
    return;
  }
  append_tokens(field_name, line, out, status);
}

void Tla_record_encoder::append_tokens(const krn::Wstring& field_name, std::uint64_t line, std::string& out,
                                       krn::Krn_status& status) {
  // Cutting the list would store a value that no search finds again.
  if (m_crcs.size() > TLA_MAX_TOKENS_PER_FIELD) {
    status.assign(TLA_E_TOO_MANY_TOKENS, krn::Krn_wstring_status_arg(field_name), krn::Krn_uint_status_arg(line));
    return;
  }
  tla_append_field_tokens(out, m_crcs);
}

void Tla_record_encoder::no_key_tokens(const krn::Wstring& value, const krn::Wstring& field_name, std::uint64_t line,
                                       krn::Krn_status& status) {
  krn::Wstring trimmed = value;
  krn::krn_trim(trimmed);
  status.assign(trimmed.empty() ? TLA_E_EMPTY_KEY : TLA_E_KEY_WITHOUT_TOKENS, krn::Krn_wstring_status_arg(field_name),
                krn::Krn_uint_status_arg(line));
}

void Tla_record_encoder::encode_record(const std::vector<krn::Wstring>& values, const Tla_schema& schema,
                                       const std::vector<std::uint64_t>& key_positions, std::uint64_t line,
                                       std::string& out, krn::Krn_status& status) {
  status.clear();
  if (values.size() != schema.size() || values.empty()) return;
  const std::size_t record_start = out.size();
  for (std::size_t i = 0; i < values.size() && !status.is_error(); ++i) {
    m_cutter.cut_value(schema[i].formatter_type, values[i], m_crcs, status);
    if (!status.ok()) {
      status.push(TLA_E_RECORD_NOT_STORED, krn::Krn_uint_status_arg(line));
      break;
    }
    if (m_crcs.empty() && is_key_position(key_positions, i)) {
      no_key_tokens(values[i], schema[i].name, line, status);
      break;
    }
    append_tokens(schema[i].name, line, out, status);
  }
  if (status.is_error()) {
    out.resize(record_start);
    return;
  }
  out.push_back(static_cast<char>(TLA_RECORD_TERMINATOR));
}

void Tla_record_encoder::encode_record(const std::string_view* values, const Tla_schema& schema,
                                       const std::vector<std::uint64_t>& key_positions, std::uint64_t line,
                                       std::string& out, std::vector<std::uint64_t>& key_hashes,
                                       krn::Krn_status& status) {
  status.clear();
  m_cache->prepare(schema);
  const std::size_t record_start = out.size();
  const std::size_t hashes_start = key_hashes.size();
  std::size_t field_starts[64];
  std::vector<std::size_t> more_starts;
  std::size_t* starts = schema.size() <= 64 ? field_starts : (more_starts.resize(schema.size()), more_starts.data());
  for (std::size_t i = 0; i < schema.size(); ++i) {
    const std::string_view value = values[i];
    starts[i] = out.size();
    std::size_t tokens = 0;
    if (tla_shortcut_field_tokens(m_cache->formats[i], value.data(), value.size(), out, tokens)) {
      // Done without the codec.
    } else if (const std::string* stored = m_cache->find(i, value)) {
      out += *stored;
      tokens = tla_get_be16(reinterpret_cast<const unsigned char*>(stored->data()));
    } else {
      m_cutter.cut_value(schema[i].formatter_type, value.data(), value.size(), m_crcs, status);
      if (!status.ok()) {
        status.push(TLA_E_RECORD_NOT_STORED, krn::Krn_uint_status_arg(line));
        break;
      }
      append_tokens(schema[i].name, line, out, status);
      if (!status.ok()) break;
      tokens = m_crcs.size();
      m_cache->store(i, value, out.data() + starts[i], out.size() - starts[i]);
    }
    if (tokens == 0 && is_key_position(key_positions, i)) {
      m_wide.clear();
      krn::krn_string_append(m_wide, value.data(), value.size());
      no_key_tokens(m_wide, schema[i].name, line, status);
      break;
    }
  }
  if (status.is_error()) {
    out.resize(record_start);
    key_hashes.resize(hashes_start);
    return;
  }
  out.push_back(static_cast<char>(TLA_RECORD_TERMINATOR));
  for (const std::uint64_t key : key_positions) {
    const auto* field = reinterpret_cast<const unsigned char*>(out.data() + starts[key]);
    key_hashes.push_back(tla_key_hash(field + TLA_TOKEN_COUNT_SIZE, tla_get_be16(field) * TLA_TOKEN_CRC_SIZE));
  }
}

// ---- UTF-8 -------------------------------------------------------------------

bool is_valid_utf8(const char* bytes, std::size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  const unsigned char* const end = p + length;
  while (p < end) {
    // Text is mostly ASCII: eight bytes at a time while no high bit is set.
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
      p += 8;
    }
    if (p == end) break;
    const int size = utf8_sequence_length(p, end);
    if (size <= 0) return false;
    p += size;
  }
  return true;
}

// ---- Reading -----------------------------------------------------------------

Tla_read_progress::~Tla_read_progress() = default;

namespace {

// Lines are read and encoded in batches of about this many bytes: large
// enough that handing a batch on costs nothing next to encoding it, small
// enough that a few in flight take little memory.
constexpr std::size_t BATCH_BYTES = 1 << 20;

// Whole lines of the input, then what they became.
struct Batch {
  std::string input;
  std::uint64_t input_bytes = 0;  // of the file, which a converted input has fewer or more of
  std::uint64_t first_line = 0;
  bool last = false;  // the input ends with these lines (the last may lack its LF)
  // Set when the lines after these hold a sequence that the input's
  // encoding cannot read: the run fails there unless a line before fails.
  krn::Krn_status unreadable;

  std::string records;
  std::vector<std::uint32_t> record_starts;
  std::vector<std::uint64_t> key_hashes;
  std::uint64_t records_crc = 0;
  std::uint64_t sequence = 0;
  // The first failure among the lines, which stops the run.
  Tla_read_outcome outcome = Tla_read_outcome::DONE;
  krn::Krn_status status;
};

// What every encoding thread shares: the schema and how to report.
struct Line_context {
  const krn::Wstring& input_name;
  const Tla_schema& schema;
  const std::vector<std::uint64_t>& key_positions;
};

// Cuts one line (without its LF) into fields and encodes it into the batch;
// false, with the batch's outcome set, when the line is refused.
bool encode_line(const Line_context& context, std::string_view line, std::uint64_t number, std::string& scratch,
                 std::vector<std::string_view>& fields, Tla_record_encoder& encoder, Batch& batch) {
  // A CR ends a line only together with its LF.
  const std::size_t cr = line.find(static_cast<char>(CR));
  if (cr != std::string_view::npos) {
    const bool ends_input = line.data() + line.size() == batch.input.data() + batch.input.size();
    if (cr + 1 != line.size() || (batch.last && ends_input)) {
      batch.status.assign(TLA_E_LINE_END_AT, krn::Krn_wstring_status_arg(context.input_name),
                          krn::Krn_uint_status_arg(number));
      batch.outcome = Tla_read_outcome::BAD_LINE_END;
      return false;
    }
    line.remove_suffix(1);
  }
  // A byte order mark is dropped wherever it stands.
  if (line.find(static_cast<char>(BOM_1)) != std::string_view::npos) {
    scratch.assign(line);
    for (std::size_t at = scratch.find(BOM); at != std::string::npos; at = scratch.find(BOM, at)) scratch.erase(at, 3);
    // A last line without its LF that held nothing else is no record.
    if (scratch.empty() && line.data() + line.size() == batch.input.data() + batch.input.size()) return true;
    line = scratch;
  }
  fields.clear();
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find(static_cast<char>(TAB), start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  if (fields.size() != context.schema.size()) {
    batch.status.assign(TLA_E_FIELD_COUNT_AT, krn::Krn_wstring_status_arg(context.input_name),
                        krn::Krn_uint_status_arg(number), krn::Krn_uint_status_arg(fields.size()),
                        krn::Krn_uint_status_arg(context.schema.size()));
    batch.outcome = Tla_read_outcome::FIELD_COUNT;
    return false;
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string_view field = fields[i];
    const unsigned code = field.find('\0') != std::string_view::npos ? TLA_E_NUL_BYTE
                          : !is_valid_utf8(field.data(), field.size()) ? TLA_E_NOT_UTF8
                                                                       : 0;
    if (code != 0) {
      batch.status.assign(code, krn::Krn_wstring_status_arg(context.schema[i].name), krn::Krn_uint_status_arg(number));
      batch.outcome = Tla_read_outcome::FAILED;
      return false;
    }
  }
  const std::size_t start = batch.records.size();
  encoder.encode_record(fields.data(), context.schema, context.key_positions, number, batch.records,
                        batch.key_hashes, batch.status);
  if (!batch.status.ok()) {
    batch.outcome = Tla_read_outcome::FAILED;
    return false;
  }
  batch.record_starts.push_back(static_cast<std::uint32_t>(start));
  return true;
}

void encode_batch(const Line_context& context, Tla_record_encoder& encoder, Batch& batch) {
  std::string scratch;
  std::vector<std::string_view> fields;
  const std::string_view input = batch.input;
  std::uint64_t number = batch.first_line;
  try {
    for (std::size_t start = 0; start < input.size(); ++number) {
      const std::size_t lf = input.find(static_cast<char>(LF), start);
      const std::size_t end = lf == std::string_view::npos ? input.size() : lf;
      if (!encode_line(context, input.substr(start, end - start), number, scratch, fields, encoder, batch)) return;
      start = end + 1;
    }
    if (!batch.unreadable.ok()) {
      batch.status = batch.unreadable;
      batch.outcome = Tla_read_outcome::FAILED;
    }
  } catch (const std::exception& error) {
    tla_report_exception(error, batch.status);
    batch.outcome = Tla_read_outcome::FAILED;
  }
}

// Hands out the input in batches of whole lines, converted to UTF-8 first
// when it is in another encoding.
class Batch_reader {
 public:
  Batch_reader(krn::Krn_file& input, const krn::Wstring& input_name, const Tla_input_encoding& encoding)
      : m_input(input), m_input_name(input_name), m_encoding(encoding) {}

  // The next batch; null at the end or on a failure (status).
  std::unique_ptr<Batch> next(krn::Krn_status& status) {
    if (m_done) return nullptr;
    if (m_encoding.encoding != enr::ENR_UTF_8 && !m_decoder) {
      m_decoder = std::make_unique<enr::Enr_utf8_decoder>(m_encoding.encoding, status);
      if (!status.ok()) return nullptr;
    }
    auto batch = std::make_unique<Batch>();
    batch->input.swap(m_carry);
    batch->first_line = m_line;
    const std::uint64_t bytes_before = m_bytes;
    // A line longer than a batch makes the batch as long as the line.
    while (!m_done) {
      const std::size_t have = batch->input.size();
      if (!read_more(*batch, status)) return nullptr;
      if (m_done) break;
      const std::size_t lf = batch->input.rfind(static_cast<char>(LF));
      if (lf != std::string::npos && lf >= have) {
        m_carry.assign(batch->input, lf + 1);
        batch->input.resize(lf + 1);
        break;
      }
    }
    batch->last = m_done;
    batch->input_bytes = m_decoder ? m_bytes - bytes_before : batch->input.size();
    m_line += static_cast<std::uint64_t>(std::count(batch->input.begin(), batch->input.end(), static_cast<char>(LF)));
    if (batch->input.empty() && batch->unreadable.ok()) return nullptr;
    return batch;
  }

  std::uint64_t bytes_read() const { return m_bytes; }

 private:
  // Appends the next piece of the input to the batch; false on a failure of
  // the file. Sets m_done at the end, and at bytes the encoding cannot read,
  // where the batch keeps its whole lines before them and the failure.
  bool read_more(Batch& batch, krn::Krn_status& status) {
    std::string& target = m_decoder ? m_raw : batch.input;
    const std::size_t have = m_decoder ? 0 : target.size();
    target.resize(have + BATCH_BYTES);
    const std::size_t got = m_input.read(target.data() + have, BATCH_BYTES, status);
    target.resize(have + got);
    m_bytes += got;
    const bool end = status == krn::KRN_E_END_OF_DATA || (status.ok() && got == 0);
    if (end) status.clear();
    if (!status.ok()) return false;
    m_done = end;
    if (!m_decoder || m_decoder->decode(m_raw.data(), m_raw.size(), end, batch.input)) return true;
    // The line that holds the bad bytes is dropped with them.
    const std::size_t lf = batch.input.rfind(static_cast<char>(LF));
    batch.input.resize(lf == std::string::npos ? 0 : lf + 1);
    const std::uint64_t line =
        m_line + static_cast<std::uint64_t>(std::count(batch.input.begin(), batch.input.end(), static_cast<char>(LF)));
    batch.unreadable.assign(TLA_E_INPUT_ENCODING_AT, krn::Krn_wstring_status_arg(m_input_name),
                            krn::Krn_uint_status_arg(line), krn::Krn_wstring_status_arg(m_encoding.name));
    m_done = true;
    return true;
  }

  krn::Krn_file& m_input;
  const krn::Wstring& m_input_name;
  const Tla_input_encoding& m_encoding;
  std::unique_ptr<enr::Enr_utf8_decoder> m_decoder;
  std::string m_raw;
  std::string m_carry;
  std::uint64_t m_line = 1;
  std::uint64_t m_bytes = 0;
  bool m_done = false;
};

// Batches in flight between the thread that reads and writes and the
// threads that encode. Encoded batches are written strictly in the order
// they were read, whichever thread finished them first.
class Batch_queue {
 public:
  // The next batch to encode; null once there will be no more.
  Batch* take() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_work.wait(lock, [&] { return !m_todo.empty() || m_closed; });
    if (m_todo.empty()) return nullptr;
    Batch* batch = m_todo.front().release();
    m_todo.pop_front();
    return batch;
  }
  void encoded(Batch* batch, std::uint64_t sequence) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_done.emplace(sequence, std::unique_ptr<Batch>(batch));
    m_finished.notify_all();
  }
  void put(std::unique_ptr<Batch> batch) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_todo.push_back(std::move(batch));
    m_work.notify_one();
  }
  // The batch of this sequence number, once encoded.
  std::unique_ptr<Batch> wait_for(std::uint64_t sequence) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_finished.wait(lock, [&] { return m_done.count(sequence) != 0; });
    std::unique_ptr<Batch> batch = std::move(m_done[sequence]);
    m_done.erase(sequence);
    return batch;
  }
  void close() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    m_work.notify_all();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_work;
  std::condition_variable m_finished;
  std::deque<std::unique_ptr<Batch>> m_todo;
  std::map<std::uint64_t, std::unique_ptr<Batch>> m_done;
  bool m_closed = false;
};

}  // namespace

Tla_read_outcome read_records(krn::Krn_file& input, const krn::Wstring& input_name, const Tla_input_encoding& encoding,
                              const Tla_schema& schema, const std::vector<std::uint64_t>& key_positions,
                              Tla_data_set_writer& writer, Tla_read_progress* progress, krn::Krn_status& status) {
  status.clear();
  const Line_context context{input_name, schema, key_positions};
  Batch_reader reader(input, input_name, encoding);
  const std::uint64_t input_size = static_cast<std::uint64_t>(input.length());
  Batch_queue queue;
  std::atomic<bool> stop{false};
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  const std::uint64_t most_in_flight = 2 * threads + 1;

  // Each thread keeps its own encoder (codec, cache) for all its batches.
  std::vector<std::thread> encoders;
  const auto encode = [&] {
    Tla_record_encoder encoder;
    while (Batch* batch = queue.take()) {
      if (!stop.load()) {
        encode_batch(context, encoder, *batch);
        batch->records_crc = tla_body_crc(batch->records.data(), batch->records.size());
      }
      queue.encoded(batch, batch->sequence);
    }
  };
  Tla_read_outcome outcome = Tla_read_outcome::DONE;
  try {
    for (unsigned t = 0; t < threads; ++t) encoders.emplace_back(encode);
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    bool more = true;
    for (;;) {
      while (more && !stop.load() && read - written < most_in_flight) {
        std::unique_ptr<Batch> batch = reader.next(status);
        if (!batch) {
          more = false;
          if (!status.ok()) {
            if (status != enr::ENR_E_UNKNOWN_ENCODING) status.push(krn::KRN_E_READ);
            outcome = Tla_read_outcome::FAILED;
            stop.store(true);
          }
          break;
        }
        batch->sequence = read++;
        queue.put(std::move(batch));
      }
      if (written == read) break;
      const std::unique_ptr<Batch> batch = queue.wait_for(written++);
      if (stop.load()) continue;
      // The first refused line in input order stops the run; batches after
      // it are dropped unread.
      if (batch->outcome != Tla_read_outcome::DONE) {
        outcome = batch->outcome;
        status = batch->status;
        stop.store(true);
        continue;
      }
      // The first batch tells what the whole input will take: a disk too
      // small fails now, not after minutes of work.
      if (written == 1 && batch->input_bytes > 0) {
        const double scale = static_cast<double>(input_size) / static_cast<double>(batch->input_bytes);
        writer.check_space(static_cast<std::uint64_t>(scale * static_cast<double>(batch->records.size())),
                           static_cast<std::uint64_t>(scale * static_cast<double>(batch->record_starts.size())),
                           status);
        if (!status.ok()) {
          outcome = Tla_read_outcome::FAILED;
          stop.store(true);
          continue;
        }
      }
      writer.append(batch->records, batch->record_starts, batch->key_hashes, batch->records_crc, status);
      if (!status.ok()) {
        outcome = Tla_read_outcome::FAILED;
        stop.store(true);
        continue;
      }
      if (progress != nullptr) progress->update(writer.record_count(), reader.bytes_read());
    }
  } catch (const std::exception& error) {
    stop.store(true);
    tla_report_exception(error, status);
    outcome = Tla_read_outcome::FAILED;
  }
  queue.close();
  for (std::thread& thread : encoders) thread.join();
  return outcome;
}

}  // namespace tla
