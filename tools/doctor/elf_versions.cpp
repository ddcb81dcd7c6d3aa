#include "elf_versions.h"

#include <algorithm>
#include <cstdint>

namespace vantrels::doctor {

namespace {

constexpr uint32_t kVersionNeedSection = 0x6ffffffe;  // SHT_GNU_verneed
constexpr size_t kSectionHeaderSize = 64;
constexpr size_t kEntrySize = 16;  // Elf64_Verneed and Elf64_Vernaux alike
constexpr size_t kMaxEntries = 4096;

// Little-endian fields, bounds-checked: a read past the end gives false.
struct Reader {
  std::string_view bytes;
  bool Get(uint64_t offset, size_t size, uint64_t &value) const {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    value = 0;
    for (size_t i = size; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
    return true;
  }
  // A NUL-terminated string at `offset` of a string table that spans [begin, begin + size).
  bool String(uint64_t begin, uint64_t size, uint64_t offset, std::string &out) const {
    if (begin > bytes.size() || size > bytes.size() - begin || offset >= size) return false;
    const std::string_view table = bytes.substr(begin, size);
    const size_t end = table.find('\0', offset);
    if (end == std::string_view::npos) return false;
    out.assign(table.substr(offset, end - offset));
    return true;
  }
};

struct Section {
  uint64_t type = 0, offset = 0, size = 0, link = 0, info = 0;
};

bool ReadSection(const Reader &r, uint64_t tableOffset, uint64_t index, Section &s) {
  const uint64_t at = tableOffset + index * kSectionHeaderSize;
  return r.Get(at + 4, 4, s.type) && r.Get(at + 24, 8, s.offset) && r.Get(at + 32, 8, s.size) &&
         r.Get(at + 40, 4, s.link) && r.Get(at + 44, 4, s.info);
}

std::vector<uint64_t> VersionParts(const std::string &text) {
  std::vector<uint64_t> parts{0};
  for (char c : text) {
    if (c == '.') {
      parts.push_back(0);
    } else if (c >= '0' && c <= '9') {
      parts.back() = parts.back() * 10 + static_cast<uint64_t>(c - '0');
    }
  }
  return parts;
}

}  // namespace

std::vector<VersionNeed> ReadVersionNeeds(std::string_view bytes) {
  std::vector<VersionNeed> needs;
  const Reader r{bytes};
  // 64-bit (class 2), little-endian (data 1).
  if (bytes.size() < 64 ||
      bytes.substr(0, 4) !=
          "\x7f"
          "ELF" ||
      bytes[4] != 2 || bytes[5] != 1)
    return needs;
  uint64_t tableOffset = 0, entrySize = 0, count = 0;
  if (!r.Get(0x28, 8, tableOffset) || !r.Get(0x3A, 2, entrySize) || !r.Get(0x3C, 2, count)) return needs;
  if (entrySize != kSectionHeaderSize) return needs;
  for (uint64_t i = 0; i < count; ++i) {
    Section section, strings;
    if (!ReadSection(r, tableOffset, i, section)) return needs;
    if (section.type != kVersionNeedSection) continue;
    if (section.link >= count || !ReadSection(r, tableOffset, section.link, strings)) return needs;
    // Elf64_Verneed: vn_cnt at 2, vn_file at 4, vn_aux at 8, vn_next at 12. Elf64_Vernaux:
    // vna_name at 8, vna_next at 12. Offsets are relative to the entry they are read from.
    uint64_t need = section.offset;
    for (uint64_t n = 0; n < section.info && n < kMaxEntries; ++n) {
      uint64_t auxCount = 0, fileName = 0, aux = 0, next = 0;
      if (need + kEntrySize > section.offset + section.size || !r.Get(need + 2, 2, auxCount) ||
          !r.Get(need + 4, 4, fileName) || !r.Get(need + 8, 4, aux) || !r.Get(need + 12, 4, next)) {
        return needs;
      }
      std::string file;
      r.String(strings.offset, strings.size, fileName, file);
      uint64_t at = need + aux;
      for (uint64_t a = 0; a < auxCount && a < kMaxEntries; ++a) {
        uint64_t name = 0, auxNext = 0;
        if (!r.Get(at + 8, 4, name) || !r.Get(at + 12, 4, auxNext)) return needs;
        VersionNeed v{file, ""};
        if (r.String(strings.offset, strings.size, name, v.version)) needs.push_back(std::move(v));
        if (auxNext == 0) break;
        at += auxNext;
      }
      if (next == 0) break;
      need += next;
    }
  }
  return needs;
}

std::string HighestGlibc(const std::vector<VersionNeed> &needs) {
  static constexpr std::string_view kPrefix = "GLIBC_";
  std::string highest;
  for (const VersionNeed &need : needs) {
    if (!need.version.starts_with(kPrefix)) continue;
    const std::string number = need.version.substr(kPrefix.size());
    if (number.empty() || number[0] < '0' || number[0] > '9') continue;  // GLIBC_PRIVATE
    if (highest.empty() || CompareVersions(number, highest) > 0) highest = number;
  }
  return highest;
}

int CompareVersions(const std::string &a, const std::string &b) {
  const std::vector<uint64_t> x = VersionParts(a), y = VersionParts(b);
  for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const uint64_t p = i < x.size() ? x[i] : 0, q = i < y.size() ? y[i] : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

}  // namespace vantrels::doctor
