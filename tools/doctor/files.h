#pragma once

// Reading the player's files without trusting them: every failure becomes a sentence.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace vantrels::doctor {

// Paths travel as UTF-8 text in the report and in SteamVR's JSON files.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8(const std::filesystem::path &path);
// Text for a path in a sentence: in double quotes.
std::string Quoted(const std::filesystem::path &path);
// Equal for two spellings of the same folder (trailing separators, "." parts, and on Windows
// the letter case and the kind of slash).
std::string FolderKey(const std::filesystem::path &path);
// "a string", "a number", ... for a JSON value in a sentence.
std::string JsonKind(const nlohmann::json &value);

// A whole regular file. False with the reason in `error` when it is missing, not a regular file
// (a FIFO would block), too big or unreadable.
bool ReadTextFile(const std::filesystem::path &file, std::string &text, std::string &error);

struct JsonFile {
  bool exists = false;
  std::string error;  // unreadable or not JSON; empty when `value` holds the file
  nlohmann::json value;
};
JsonFile ReadJsonFile(const std::filesystem::path &file);

}  // namespace vantrels::doctor
