// A mutator that works on a log's items rather than its bytes: the input is
// parsed as JSON, one array is picked and one of its elements is swapped,
// dropped, duplicated, replaced by a token of the log's vocabulary, or one of
// its texts gets a character changed; the document is written back. Byte
// mutations rarely leave a log decodable, these always do, so they reach the
// conversion itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include <simdjson.h>

namespace pairo_fuzz {

class ItemMutator {
 public:
  explicit ItemMutator(unsigned seed) : rng_(seed) {}

  // The mutated document, or an empty text when `input` is no JSON document.
  [[nodiscard]] std::string mutate(std::string_view input);

 private:
  enum class Op : std::uint8_t { Swap, Drop, Duplicate, Replace, EditText, Truncate };

  std::size_t pick(std::size_t bound) { return bound == 0 ? 0 : rng_() % bound; }
  std::size_t count_arrays(simdjson::dom::element e);
  void write(simdjson::dom::element e);
  void write_array(simdjson::dom::array values);
  void write_string(std::string_view text);
  void write_token();
  void write_edited_text(simdjson::dom::element e);

  std::minstd_rand rng_;
  std::string out_;
  std::size_t arrays_seen_ = 0;
  std::size_t target_ = 0;
  Op op_ = Op::Swap;
};

}  // namespace pairo_fuzz
