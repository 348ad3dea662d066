// Zip bundles read through their central directory, one entry at a time:
// its end record (zip64's too) says where the directory is; each entry
// gives a member's name, kind, method and sizes; the member's own local
// header says where its data starts. Members stored or deflated; the
// deflating is undone on a worker thread. Members whose data overlaps
// another's, or the directory, fail as a zip bomb before anything is read.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "archive/bundle.hpp"
#include "archive/member_name.hpp"
#include "archive/zip_image.hpp"

namespace archive {
namespace {

constexpr std::uint32_t end_signature = 0x06054b50;
constexpr std::uint32_t zip64_locator_signature = 0x07064b50;
constexpr std::uint32_t zip64_end_signature = 0x06064b50;
constexpr std::uint32_t entry_signature = 0x02014b50;
constexpr std::uint32_t local_signature = 0x04034b50;
constexpr std::size_t end_size = 22;
constexpr std::size_t entry_size = 46;
constexpr std::size_t local_size = 30;
constexpr unsigned unix_host = 3;

[[nodiscard]] std::uint16_t u16(const unsigned char* p) noexcept { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
[[nodiscard]] std::uint32_t u32(const unsigned char* p) noexcept {
  return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}
[[nodiscard]] std::uint64_t u64(const unsigned char* p) noexcept {
  return static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4)) << 32;
}

[[nodiscard]] ArchiveError corrupt(std::string_view what) { return {"corrupt zip bundle: " + std::string(what)}; }

struct Directory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t entries = 0;
};

struct EntryHeader {
  std::string name;
  MemberKind kind = MemberKind::File;
  bool encrypted = false;
  std::uint16_t method = 0;
  std::uint32_t crc32 = 0;
  std::uint64_t compressed = 0;
  std::uint64_t size = 0;
  std::uint64_t local_offset = 0;
};

[[nodiscard]] std::expected<Directory, ArchiveError> find_directory(ZipImage& image) {
  const std::uint64_t file_size = image.size();
  if (file_size < end_size) return std::unexpected(corrupt("no end of central directory"));
  const std::size_t tail_size = static_cast<std::size_t>(std::min<std::uint64_t>(file_size, end_size + 0xffff));
  std::vector<unsigned char> tail(tail_size);
  const std::uint64_t tail_start = file_size - tail_size;
  if (auto r = image.read_at(tail_start, tail.data(), tail_size); !r) return std::unexpected(r.error());
  std::size_t at = tail_size - end_size + 1;
  do {
    --at;
    if (u32(&tail[at]) == end_signature && at + end_size + u16(&tail[at + 20]) <= tail_size) break;
  } while (at != 0);
  if (u32(&tail[at]) != end_signature) return std::unexpected(corrupt("no end of central directory"));
  const unsigned char* end = &tail[at];
  Directory dir{u32(end + 16), u32(end + 12), u16(end + 10)};
  const bool zip64 = dir.offset == 0xffffffff || dir.size == 0xffffffff || dir.entries == 0xffff;
  const std::uint64_t end_at = tail_start + at;
  if (zip64) {
    if (end_at < 20) return std::unexpected(corrupt("no zip64 end locator"));
    unsigned char locator[20];
    if (auto r = image.read_at(end_at - 20, locator, sizeof locator); !r) return std::unexpected(r.error());
    if (u32(locator) != zip64_locator_signature) return std::unexpected(corrupt("no zip64 end locator"));
    const std::uint64_t zip64_end = u64(locator + 8);
    unsigned char record[56];
    if (zip64_end > end_at || end_at - zip64_end < sizeof record) return std::unexpected(corrupt("bad zip64 end"));
    if (auto r = image.read_at(zip64_end, record, sizeof record); !r) return std::unexpected(r.error());
    if (u32(record) != zip64_end_signature) return std::unexpected(corrupt("bad zip64 end"));
    dir = Directory{u64(record + 48), u64(record + 40), u64(record + 32)};
  }
  if (dir.offset > end_at || dir.size > end_at - dir.offset) {
    return std::unexpected(corrupt("central directory outside the file"));
  }
  return dir;
}

// The zip64 extra field gives, in this order, each size or offset whose
// 32-bit field is all ones.
void read_zip64_extra(std::string_view extra, EntryHeader& entry, bool need_size, bool need_compressed,
                      bool need_offset) {
  while (extra.size() >= 4) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    const std::uint16_t id = u16(p), length = u16(p + 2);
    if (length > extra.size() - 4) return;
    if (id == 0x0001) {
      std::string_view data = extra.substr(4, length);
      const auto take = [&](bool need, std::uint64_t& value) {
        if (!need || data.size() < 8) return;
        value = u64(reinterpret_cast<const unsigned char*>(data.data()));
        data.remove_prefix(8);
      };
      take(need_size, entry.size);
      take(need_compressed, entry.compressed);
      take(need_offset, entry.local_offset);
      return;
    }
    extra.remove_prefix(4 + length);
  }
}

[[nodiscard]] MemberKind kind_of(std::uint16_t made_by, std::uint32_t attributes, std::string_view name) {
  if (!name.empty() && name.back() == '/') return MemberKind::Directory;
  if ((made_by >> 8) != unix_host) return MemberKind::File;
  switch ((attributes >> 16) & S_IFMT) {
    case S_IFLNK: return MemberKind::SymbolicLink;
    case S_IFDIR: return MemberKind::Directory;
    case S_IFCHR:
    case S_IFBLK:
    case S_IFIFO:
    case S_IFSOCK: return MemberKind::Device;
    default: return MemberKind::File;
  }
}

class ZipSource final : public Source {
 public:
  ZipSource(std::unique_ptr<ZipImage> image, Directory dir, LogStem log_stem)
      : image_(std::move(image)), dir_(dir), position_(dir.offset), log_stem_(log_stem) {
    survey();
  }

  std::optional<Entry> next() override {
    while (!done_) {
      auto header = next_header();
      if (!header) {
        done_ = true;
        return EntryFailure{"", header.error()};
      }
      if (!*header) {
        done_ = true;
        break;
      }
      auto entry = entry_of(**header, index_ - 1);
      if (entry) return entry;
    }
    return std::nullopt;
  }

  std::optional<std::size_t> size_hint() const noexcept override { return hint_; }

 private:
  // What the survey found of each directory entry's data, in directory order.
  enum class Overlap : std::uint8_t { None, Member, Directory };

  // The next central directory entry; nothing after the last.
  [[nodiscard]] std::expected<std::optional<EntryHeader>, ArchiveError> next_header() {
    if (index_ == dir_.entries) return std::optional<EntryHeader>();
    const std::uint64_t end = dir_.offset + dir_.size;
    if (end - position_ < entry_size) return std::unexpected(corrupt("truncated central directory"));
    unsigned char fixed[entry_size];
    if (auto r = image_->read_at(position_, fixed, entry_size); !r) return std::unexpected(r.error());
    if (u32(fixed) != entry_signature) return std::unexpected(corrupt("bad central directory entry"));
    const std::size_t name_size = u16(fixed + 28), extra_size = u16(fixed + 30), comment_size = u16(fixed + 32);
    if (end - position_ - entry_size < name_size + extra_size + comment_size) {
      return std::unexpected(corrupt("truncated central directory"));
    }
    std::string variable(name_size + extra_size, '\0');
    if (auto r = image_->read_at(position_ + entry_size, variable.data(), variable.size()); !r) {
      return std::unexpected(r.error());
    }
    position_ += entry_size + name_size + extra_size + comment_size;
    ++index_;
    EntryHeader entry;
    entry.name = variable.substr(0, name_size);
    entry.encrypted = (u16(fixed + 8) & 1) != 0;
    entry.method = u16(fixed + 10);
    entry.crc32 = u32(fixed + 16);
    entry.compressed = u32(fixed + 20);
    entry.size = u32(fixed + 24);
    entry.local_offset = u32(fixed + 42);
    read_zip64_extra(std::string_view(variable).substr(name_size), entry, entry.size == 0xffffffff,
                     entry.compressed == 0xffffffff, entry.local_offset == 0xffffffff);
    entry.kind = kind_of(u16(fixed + 4), u32(fixed + 38), entry.name);
    return std::optional<EntryHeader>(std::move(entry));
  }

  // Walks the directory once, before any member is read. It counts the
  // entries that will be yielded (the members, and the failure that ends a
  // damaged directory), and finds the members whose data would overlap. A
  // zip bomb points many entries at one deflate stream, or at data that
  // runs over the next members, so that a small file inflates many times
  // over; in a bundle whose members each hold their own bytes no byte is
  // read twice, and the work stays within the file's size. A member's data
  // spans at least its fixed local header and its compressed bytes from
  // the offset the directory gives, which needs no read of the local header.
  void survey() {
    struct Span {
      std::uint64_t begin, end;
      std::size_t index;
    };
    std::vector<Span> spans;
    std::size_t count = 0;
    while (true) {
      auto header = next_header();
      if (!header) {
        ++count;
        break;
      }
      if (!*header) break;
      const EntryHeader& entry = **header;
      const std::size_t index = overlaps_.size();
      overlaps_.push_back(Overlap::None);
      const auto verdict = judge_member(entry.name, entry.kind, log_stem_);
      if (!std::holds_alternative<std::monostate>(verdict)) ++count;
      // Only members that will be read can cost anything.
      if (!std::holds_alternative<LogMember>(verdict) || refusal(entry)) continue;
      const std::uint64_t length = local_size + entry.compressed;  // compressed is within the record bound here
      const std::uint64_t end = entry.local_offset > UINT64_MAX - length ? UINT64_MAX : entry.local_offset + length;
      spans.push_back({entry.local_offset, end, index});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    // In offset order a span overlaps an earlier one exactly when it starts
    // before the farthest end so far; the span reaching there overlaps it too.
    std::uint64_t reach = 0;
    std::optional<std::size_t> reacher;
    for (const Span& span : spans) {
      if (reacher && span.begin < reach) {
        overlaps_[span.index] = Overlap::Member;
        overlaps_[*reacher] = Overlap::Member;
      }
      if (!reacher || span.end > reach) {
        reach = span.end;
        reacher = span.index;
      }
    }
    const std::uint64_t directory_end = dir_.offset + dir_.size;
    for (const Span& span : spans) {
      if (span.begin < directory_end && dir_.offset < span.end) overlaps_[span.index] = Overlap::Directory;
    }
    position_ = dir_.offset;
    index_ = 0;
    hint_ = count;
  }

  // Why a log member is not read, whatever its data: what its directory entry says.
  [[nodiscard]] static std::optional<ArchiveError> refusal(const EntryHeader& header) {
    using pairo::FailureCode;
    if (header.encrypted) return ArchiveError{"encrypted zip member", FailureCode::UnsupportedMember};
    if (header.method != 0 && header.method != 8) {
      return ArchiveError{"zip member of unsupported compression method " + std::to_string(header.method),
                          FailureCode::UnsupportedMember};
    }
    if (header.size > record_limit || header.compressed > record_limit) return too_large("zip member");
    if (header.method == 0 && header.compressed != header.size) return ArchiveError{"corrupt zip member: sizes differ"};
    return std::nullopt;
  }

  // The member's entry (the `index`th of the directory), or nothing for a member that is no log.
  [[nodiscard]] std::optional<Entry> entry_of(EntryHeader& header, std::uint64_t index) {
    auto verdict = judge_member(header.name, header.kind, log_stem_);
    if (auto* error = std::get_if<ArchiveError>(&verdict)) return EntryFailure{shown(header.name), std::move(*error)};
    auto* member = std::get_if<LogMember>(&verdict);
    if (!member) return std::nullopt;
    const auto fail = [&](std::string message, pairo::FailureCode code = pairo::FailureCode::CorruptData) {
      return EntryFailure{member->path, {std::move(message), code}};
    };
    if (auto why = refusal(header)) return EntryFailure{member->path, std::move(*why)};
    switch (index < overlaps_.size() ? overlaps_[index] : Overlap::None) {
      case Overlap::Member: return fail("zip bomb: member's data overlaps another member's", pairo::FailureCode::Bomb);
      case Overlap::Directory:
        return fail("zip bomb: member's data overlaps the central directory", pairo::FailureCode::Bomb);
      case Overlap::None: break;
    }
    unsigned char local[local_size];
    if (header.local_offset > image_->size() || image_->size() - header.local_offset < local_size) {
      return fail("corrupt zip member: local header outside the file");
    }
    if (auto r = image_->read_at(header.local_offset, local, local_size); !r) return EntryFailure{member->path, r.error()};
    if (u32(local) != local_signature) return fail("corrupt zip member: bad local header");
    const std::uint64_t data_at = header.local_offset + local_size + u16(local + 26) + u16(local + 28);
    if (data_at > image_->size() || image_->size() - data_at < header.compressed) {
      return fail("corrupt zip member: data outside the file");
    }
    pairo::PaddedText bytes(static_cast<std::size_t>(header.compressed));
    if (auto r = image_->read_at(data_at, bytes.data(), bytes.size()); !r) return EntryFailure{member->path, r.error()};
    StoredBytes stored{std::move(bytes), header.method == 8 ? Layer::Deflate : Layer::Stored, header.size,
                       header.crc32};
    return StoredRecord{member->path, member->stem, std::move(stored), {}};
  }

  std::unique_ptr<ZipImage> image_;
  Directory dir_;
  std::uint64_t position_ = 0;
  LogStem log_stem_;
  std::uint64_t index_ = 0;
  bool done_ = false;
  std::optional<std::size_t> hint_;
  std::vector<Overlap> overlaps_;  // one byte per entry
};

}  // namespace

std::expected<std::unique_ptr<Source>, ArchiveError> zip_source(std::unique_ptr<ZipImage> image, LogStem log_stem) {
  auto dir = find_directory(*image);
  if (!dir) return std::unexpected(dir.error());
  return std::make_unique<ZipSource>(std::move(image), *dir, log_stem);
}

std::expected<std::unique_ptr<Source>, ArchiveError> open_zip(const std::string& path, LogStem log_stem) {
  auto image = file_zip_image(path);
  if (!image) return std::unexpected(image.error());
  return zip_source(std::move(*image), log_stem);
}

}  // namespace archive
