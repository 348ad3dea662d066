// Tar bundles read front to back: POSIX ustar headers with their name
// prefix, pax extended and global headers (path, size), GNU long names. A
// member's header is judged before its data is read; a member not read is
// skipped over, so a bundle of any size is read in constant memory. Where
// members begin is read as GNU tar and Python's tarfile read it, so that no
// member hidden from them is converted.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "archive/bundle.hpp"
#include "archive/member_name.hpp"

namespace archive {
namespace {

constexpr std::size_t block = 512;
// Long names and pax headers bigger than this are not names but damage.
constexpr std::uint64_t meta_limit = std::uint64_t{1} << 20;
// The most read at once: the cancel flag is looked at between reads.
constexpr std::size_t chunk = 64 * 1024;

using Header = std::array<unsigned char, block>;

[[nodiscard]] std::string_view field(const Header& h, std::size_t offset, std::size_t size) {
  const auto* begin = reinterpret_cast<const char*>(h.data() + offset);
  const auto* end = static_cast<const char*>(std::memchr(begin, 0, size));
  return {begin, end ? static_cast<std::size_t>(end - begin) : size};
}

// An octal number (spaces and NULs around it), or base-256 when the first byte's high bit is set.
[[nodiscard]] std::optional<std::uint64_t> number(const Header& h, std::size_t offset, std::size_t size) {
  const unsigned char* p = h.data() + offset;
  if (p[0] & 0x80) {
    if (p[0] != 0x80) return std::nullopt;  // negative, or beyond 2^63
    std::uint64_t value = 0;
    for (std::size_t i = 1; i < size; ++i) {
      if (value >> 55) return std::nullopt;
      value = (value << 8) | p[i];
    }
    return value;
  }
  std::size_t i = 0;
  while (i < size && p[i] == ' ') ++i;
  std::uint64_t value = 0;
  bool any = false;
  for (; i < size && p[i] >= '0' && p[i] <= '7'; ++i) {
    if (value >> 60) return std::nullopt;
    value = value * 8 + (p[i] - '0');
    any = true;
  }
  for (; i < size; ++i) {
    if (p[i] != ' ' && p[i] != 0) return std::nullopt;
  }
  if (!any) return std::nullopt;
  return value;
}

[[nodiscard]] bool checksum_matches(const Header& h) {
  const auto recorded = number(h, 148, 8);
  if (!recorded) return false;
  std::uint64_t unsigned_sum = 0;
  std::int64_t signed_sum = 0;
  for (std::size_t i = 0; i < block; ++i) {
    const unsigned char c = (i >= 148 && i < 156) ? ' ' : h[i];
    unsigned_sum += c;
    signed_sum += static_cast<signed char>(c);
  }
  return *recorded == unsigned_sum || static_cast<std::int64_t>(*recorded) == signed_sum;
}

[[nodiscard]] bool all_zero(const Header& h) {
  return std::all_of(h.begin(), h.end(), [](unsigned char c) { return c == 0; });
}

// `own_name` is the header's name field: only the old type '\0' with a
// trailing '/' names a folder (whose data is then none); a '0' or '7' so
// named is a file whose data is skipped like any other.
[[nodiscard]] MemberKind kind_of(char type, std::string_view own_name) {
  switch (type) {
    case '\0': return own_name.ends_with('/') ? MemberKind::Directory : MemberKind::File;
    case '0':
    case '7': return MemberKind::File;
    case '1': return MemberKind::HardLink;
    case '2': return MemberKind::SymbolicLink;
    case '3':
    case '4':
    case '6': return MemberKind::Device;
    case '5': return MemberKind::Directory;
    default: return MemberKind::Unsupported;
  }
}

struct PaxFields {
  std::optional<std::string> path;
  std::optional<std::uint64_t> size;
};

// "<length> <key>=<value>\n" records; the length counts the whole record.
[[nodiscard]] std::expected<PaxFields, ArchiveError> parse_pax(std::string_view text, PaxFields fields) {
  while (!text.empty()) {
    std::size_t length = 0, i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 8) length = length * 10 + (text[i++] - '0');
    if (i == 0 || i >= text.size() || text[i] != ' ' || length <= i + 1 || length > text.size() ||
        text[length - 1] != '\n') {
      return std::unexpected(ArchiveError{"corrupt pax header"});
    }
    const std::string_view record = text.substr(i + 1, length - i - 2);
    const auto equals = record.find('=');
    if (equals == std::string_view::npos) return std::unexpected(ArchiveError{"corrupt pax header"});
    const std::string_view key = record.substr(0, equals), value = record.substr(equals + 1);
    if (key == "path") {
      fields.path = std::string(value);
    } else if (key == "size") {
      std::uint64_t size = 0;
      if (value.empty() || value.size() > 18) return std::unexpected(ArchiveError{"corrupt pax header"});
      for (char c : value) {
        if (c < '0' || c > '9') return std::unexpected(ArchiveError{"corrupt pax header"});
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
      }
      fields.size = size;
    }
    text.remove_prefix(length);
  }
  return fields;
}

class TarSource final : public Source {
 public:
  TarSource(std::unique_ptr<ByteStream> stream, LogStem log_stem, sysio::Cancel cancel)
      : stream_(std::move(stream)), log_stem_(log_stem), cancel_(cancel) {}

  std::optional<Entry> next() override {
    while (!done_) {
      auto entry = step();
      if (!entry) {
        done_ = true;
        return EntryFailure{"", entry.error()};
      }
      if (*entry) return std::move(**entry);
    }
    return std::nullopt;
  }

  std::optional<std::size_t> size_hint() const noexcept override { return std::nullopt; }

 private:
  // Up to one chunk; 0 only at the end. A member's data, skipped or read,
  // may be terabytes to decompress: a raised cancel flag ends the bundle.
  [[nodiscard]] std::expected<std::size_t, ArchiveError> read_some(char* out, std::size_t size) {
    if (sysio::cancelled(cancel_)) return std::unexpected(ArchiveError{"cancelled", pairo::FailureCode::Cancelled});
    return stream_->read(out, std::min(size, chunk));
  }

  // Exactly `size` bytes, or a failure: the bundle ends too soon.
  [[nodiscard]] std::expected<void, ArchiveError> read_exact(char* out, std::size_t size) {
    while (size != 0) {
      auto got = read_some(out, size);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) return std::unexpected(ArchiveError{"truncated tar bundle"});
      out += *got;
      size -= *got;
    }
    return {};
  }

  [[nodiscard]] std::expected<void, ArchiveError> skip(std::uint64_t size) {
    while (size != 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, scratch_.size()));
      if (auto r = read_exact(scratch_.data(), n); !r) return r;
      size -= n;
    }
    return {};
  }

  [[nodiscard]] static std::uint64_t padded(std::uint64_t size) { return (size + block - 1) / block * block; }

  // A member's data and the padding to the next block.
  [[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> read_data(std::uint64_t size) {
    pairo::PaddedText data(static_cast<std::size_t>(size));
    if (auto r = read_exact(data.data(), data.size()); !r) return std::unexpected(r.error());
    if (auto r = skip(padded(size) - size); !r) return std::unexpected(r.error());
    return data;
  }

  // The next entry, nothing for a header that yields none (names, folders,
  // files that hold no log), or the bundle's own failure.
  [[nodiscard]] std::expected<std::optional<Entry>, ArchiveError> step() {
    Header h{};
    {
      auto got = read_some(reinterpret_cast<char*>(h.data()), block);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) return std::unexpected(ArchiveError{"truncated tar bundle: no end-of-archive blocks"});
      if (*got < block) {
        if (auto r = read_exact(reinterpret_cast<char*>(h.data()) + *got, block - *got); !r) {
          return std::unexpected(r.error());
        }
      }
    }
    if (all_zero(h)) {
      done_ = true;  // what follows the end marker is padding
      return std::optional<Entry>();
    }
    if (!checksum_matches(h)) return std::unexpected(ArchiveError{"corrupt tar header (bad checksum)"});
    const auto header_size = number(h, 124, 12);
    if (!header_size) return std::unexpected(ArchiveError{"corrupt tar header (bad size)"});
    const char type = static_cast<char>(h[156]);

    if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
      if (*header_size > meta_limit) return std::unexpected(ArchiveError{"corrupt tar header (oversized name)"});
      auto data = read_data(*header_size);
      if (!data) return std::unexpected(data.error());
      if (type == 'L') {
        long_name_ = std::string(data->view().substr(0, data->view().find('\0')));
      } else if (type != 'K') {
        PaxFields& into = type == 'x' ? pax_ : global_;
        auto fields = parse_pax(data->view(), std::move(into));
        if (!fields) return std::unexpected(fields.error());
        into = std::move(*fields);
        if (type == 'x') local_pax_ = true;
      }
      return std::optional<Entry>();
    }

    // A global header's fields hold for every later member, under the
    // member's own extended header.
    std::string name;
    if (pax_.path) {
      name = std::move(*pax_.path);
    } else if (long_name_) {
      name = std::move(*long_name_);
    } else if (global_.path) {
      name = *global_.path;
    } else {
      const bool posix = std::memcmp(h.data() + 257, "ustar\0", 6) == 0;
      const std::string_view prefix = posix ? field(h, 345, 155) : std::string_view();
      name = prefix.empty() ? std::string(field(h, 0, 100)) : std::string(prefix) + "/" + std::string(field(h, 0, 100));
    }
    std::uint64_t size = pax_.size.value_or(global_.size.value_or(*header_size));
    const bool had_local_pax = std::exchange(local_pax_, false);
    pax_ = PaxFields{};
    long_name_.reset();

    const MemberKind kind = kind_of(type, field(h, 0, 100));
    // Links and folders carry no data whatever their size field says.
    if (kind == MemberKind::HardLink || kind == MemberKind::SymbolicLink || kind == MemberKind::Directory) {
      size = 0;
    } else if (!had_local_pax && size != *header_size) {
      // A global size with no extended header of the member's own: GNU tar
      // skips the global size, tarfile the header's, and each would then
      // read other members after it.
      return std::unexpected(ArchiveError{"corrupt tar header (global pax size differs from the member's)"});
    }
    // A file named like a folder holds no log (GNU tar lists it as a folder).
    auto verdict = kind == MemberKind::File && name.ends_with('/') ? MemberVerdict() : judge_member(name, kind, log_stem_);
    if (auto* error = std::get_if<ArchiveError>(&verdict)) {
      if (auto r = skip(padded(size)); !r) return std::unexpected(r.error());
      return std::optional<Entry>(EntryFailure{shown(name), std::move(*error)});
    }
    auto* member = std::get_if<LogMember>(&verdict);
    if (!member) {
      if (auto r = skip(padded(size)); !r) return std::unexpected(r.error());
      return std::optional<Entry>();
    }
    if (size > record_limit) {
      if (auto r = skip(padded(size)); !r) return std::unexpected(r.error());
      return std::optional<Entry>(EntryFailure{member->path, too_large("tar member")});
    }
    auto data = read_data(size);
    if (!data) return std::unexpected(data.error());
    return std::optional<Entry>(StoredRecord{member->path, member->stem, StoredBytes{std::move(*data)}, {}});
  }

  std::unique_ptr<ByteStream> stream_;
  LogStem log_stem_;
  sysio::Cancel cancel_;
  std::array<char, chunk> scratch_{};
  PaxFields pax_;           // the next member's extended header
  bool local_pax_ = false;  // whether the next member has one
  PaxFields global_;        // every global header so far, the later winning
  std::optional<std::string> long_name_;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<Source> tar_source(std::unique_ptr<ByteStream> stream, LogStem log_stem, sysio::Cancel cancel) {
  return std::make_unique<TarSource>(std::move(stream), log_stem, cancel);
}

}  // namespace archive
