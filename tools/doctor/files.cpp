#include "files.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

// SteamVR's files are small; a log of a long session reaches a few megabytes.
constexpr std::uintmax_t kMaxFileBytes = 256u * 1024 * 1024;

}  // namespace

fs::path PathFromUtf8(std::string_view text) {
  try {
    return fs::path(std::u8string(text.begin(), text.end()));
  } catch (const std::exception &) {
    return fs::path(std::string(text));  // not UTF-8: taken as the system's own encoding
  }
}

std::string Utf8(const fs::path &path) {
  try {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } catch (const std::exception &) {
    return path.string();
  }
}

std::string Quoted(const fs::path &path) {
  fs::path native = path;
  std::string text = "\"";
  text += Utf8(native.make_preferred());
  text += '"';
  return text;
}

std::string FolderKey(const fs::path &path) {
  std::string key = Utf8(path.lexically_normal().make_preferred());
  while (key.size() > 1 && (key.back() == '/' || key.back() == '\\')) key.pop_back();
#if defined(_WIN32)
  std::transform(key.begin(), key.end(), key.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
#endif
  return key;
}

std::string JsonKind(const nlohmann::json &value) {
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      return "null";
    case nlohmann::json::value_t::object:
      return "an object";
    case nlohmann::json::value_t::array:
      return "a list";
    case nlohmann::json::value_t::string:
      return "the text " + value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    case nlohmann::json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    default:
      return "the number " + value.dump();
  }
}

bool ReadTextFile(const fs::path &file, std::string &text, std::string &error) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (!fs::exists(status)) {
    error = Quoted(file) + " does not exist";
    return false;
  }
  if (!fs::is_regular_file(status)) {
    error = Quoted(file) + " is not a file";
    return false;
  }
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxFileBytes) {
    error = Quoted(file) + (ec ? " can't be read: " + ec.message() : " is too big to be SteamVR's");
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  text.assign(static_cast<size_t>(size), '\0');
  if (!in || !in.read(text.data(), static_cast<std::streamsize>(size))) {
    error = Quoted(file) + " can't be read (no permission?)";
    return false;
  }
  return true;
}

JsonFile ReadJsonFile(const fs::path &file) {
  JsonFile result;
  std::error_code ec;
  result.exists = fs::exists(fs::symlink_status(file, ec));
  std::string text;
  if (!ReadTextFile(file, text, result.error)) return result;
  try {
    result.value = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception &e) {
    // "[json.exception.parse_error.101] parse error at line 3, column 1: ..." without the tag.
    std::string why = e.what();
    const size_t tagEnd = why.find("] ");
    if (tagEnd != std::string::npos) why.erase(0, tagEnd + 2);
    result.error = Quoted(file) + " is not valid JSON: " + why;
  }
  return result;
}

}  // namespace vantrels::doctor
