// IVRSettings_003 over the host's JSON setting store. Every call writes *error when given one
// and never writes outside the caller's buffer.
#include <cmath>
#include <cstring>
#include <limits>

#include "host/host_interfaces.h"

namespace vantrels::host {

namespace {

void Answer(vr::EVRSettingsError *out, vr::EVRSettingsError error) {
  if (out != nullptr) *out = error;
}

std::string Text(const nlohmann::json &value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

}  // namespace

const char *SubstituteHost::SettingsImpl::GetSettingsErrorNameFromEnum(vr::EVRSettingsError error) {
  switch (error) {
    case vr::VRSettingsError_None:
      return "VRSettingsError_None";
    case vr::VRSettingsError_IPCFailed:
      return "VRSettingsError_IPCFailed";
    case vr::VRSettingsError_WriteFailed:
      return "VRSettingsError_WriteFailed";
    case vr::VRSettingsError_ReadFailed:
      return "VRSettingsError_ReadFailed";
    case vr::VRSettingsError_JsonParseFailed:
      return "VRSettingsError_JsonParseFailed";
    case vr::VRSettingsError_UnsetSettingHasNoDefault:
      return "VRSettingsError_UnsetSettingHasNoDefault";
    case vr::VRSettingsError_AccessDenied:
      return "VRSettingsError_AccessDenied";
  }
  return "Unknown settings error";
}

void SubstituteHost::SettingsImpl::Store(const char *op, const char *section, const char *key,
                                         const nlohmann::json &value, vr::EVRSettingsError *error) {
  host_.GuardedVoid(op, [&] {
    vr::EVRSettingsError result = vr::VRSettingsError_None;
    if (section == nullptr || key == nullptr || value.is_null()) {
      result = vr::VRSettingsError_WriteFailed;
    } else {
      host_.settingStore_[section][key] = value;
    }
    Answer(error, result);
    const std::string text = value.is_null() ? std::string() : Text(value);
    host_.settingAccesses_.push_back({op, ArgText(section), ArgText(key), text, static_cast<int>(result)});
    host_.Record({{"call", op},
                  {"section", ArgText(section)},
                  {"key", ArgText(key)},
                  {"value", value},
                  {"error", static_cast<int>(result)}});
  });
}

void SubstituteHost::SettingsImpl::SetBool(const char *section, const char *key, bool value,
                                           vr::EVRSettingsError *error) {
  Store("SetBool", section, key, value, error);
}

void SubstituteHost::SettingsImpl::SetInt32(const char *section, const char *key, int32_t value,
                                            vr::EVRSettingsError *error) {
  Store("SetInt32", section, key, value, error);
}

void SubstituteHost::SettingsImpl::SetFloat(const char *section, const char *key, float value,
                                            vr::EVRSettingsError *error) {
  Store("SetFloat", section, key, static_cast<double>(value), error);
}

void SubstituteHost::SettingsImpl::SetString(const char *section, const char *key, const char *value,
                                             vr::EVRSettingsError *error) {
  Store("SetString", section, key, value ? nlohmann::json(value) : nlohmann::json(nullptr), error);
}

const nlohmann::json *SubstituteHost::SettingsImpl::Lookup(const char *section, const char *key,
                                                           vr::EVRSettingsError &error) const {
  if (section == nullptr || key == nullptr) {
    error = vr::VRSettingsError_ReadFailed;
    return nullptr;
  }
  auto s = host_.settingStore_.find(section);
  if (s != host_.settingStore_.end()) {
    auto k = s->second.find(key);
    if (k != s->second.end()) {
      error = vr::VRSettingsError_None;
      return &k->second;
    }
  }
  error = vr::VRSettingsError_UnsetSettingHasNoDefault;
  return nullptr;
}

void SubstituteHost::SettingsImpl::NoteRead(const char *op, const char *section, const char *key,
                                            const nlohmann::json &value, vr::EVRSettingsError error,
                                            vr::EVRSettingsError *out, nlohmann::ordered_json extra) {
  Answer(out, error);
  host_.settingAccesses_.push_back({op, ArgText(section), ArgText(key), Text(value), static_cast<int>(error)});
  nlohmann::ordered_json entry = {{"call", op},
                                  {"section", section ? nlohmann::json(section) : nlohmann::json(nullptr)},
                                  {"key", key ? nlohmann::json(key) : nlohmann::json(nullptr)},
                                  {"error", static_cast<int>(error)},
                                  {"result", value}};
  if (extra.is_object()) entry.update(extra);
  host_.Record(entry);
}

bool SubstituteHost::SettingsImpl::GetBool(const char *section, const char *key, vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_ReadFailed);
  return host_.Guarded("GetBool", false, [&] {
    vr::EVRSettingsError result;
    const nlohmann::json *value = Lookup(section, key, result);
    bool out = false;
    if (value != nullptr) {
      if (value->is_boolean()) {
        out = value->get<bool>();
      } else {
        result = vr::VRSettingsError_ReadFailed;
      }
    }
    NoteRead("GetBool", section, key, out, result, error);
    return out;
  });
}

int32_t SubstituteHost::SettingsImpl::GetInt32(const char *section, const char *key, vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_ReadFailed);
  return host_.Guarded("GetInt32", int32_t{0}, [&] {
    vr::EVRSettingsError result;
    const nlohmann::json *value = Lookup(section, key, result);
    int32_t out = 0;
    if (value != nullptr) {
      // Integers only, and only those that fit: a float or an out-of-range number is not an int32.
      if (value->is_number_integer() && (*value) >= std::numeric_limits<int32_t>::min() &&
          (*value) <= std::numeric_limits<int32_t>::max()) {
        out = value->get<int32_t>();
      } else {
        result = vr::VRSettingsError_ReadFailed;
      }
    }
    NoteRead("GetInt32", section, key, out, result, error);
    return out;
  });
}

float SubstituteHost::SettingsImpl::GetFloat(const char *section, const char *key, vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_ReadFailed);
  return host_.Guarded("GetFloat", 0.0f, [&] {
    vr::EVRSettingsError result;
    const nlohmann::json *value = Lookup(section, key, result);
    float out = 0.0f;
    if (value != nullptr) {
      if (value->is_number()) {
        out = static_cast<float>(value->get<double>());
      } else {
        result = vr::VRSettingsError_ReadFailed;
      }
    }
    NoteRead("GetFloat", section, key, static_cast<double>(out), result, error);
    return out;
  });
}

void SubstituteHost::SettingsImpl::GetString(const char *section, const char *key, char *value, uint32_t valueLen,
                                             vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_ReadFailed);
  if (value != nullptr && valueLen > 0) value[0] = '\0';
  host_.GuardedVoid("GetString", [&] {
    vr::EVRSettingsError result;
    const nlohmann::json *stored = Lookup(section, key, result);
    std::string text;
    if (stored != nullptr) {
      if (stored->is_string()) {
        text = stored->get<std::string>();
      } else {
        result = vr::VRSettingsError_ReadFailed;
      }
    }
    uint32_t needed = 0;
    if (value != nullptr) {
      needed = CopyOutString(text, value, valueLen);
    } else if (valueLen > 0) {
      result = vr::VRSettingsError_ReadFailed;  // a size but no buffer
    }
    nlohmann::ordered_json extra = {{"bufferSize", valueLen}};
    if (needed > valueLen) extra["truncated"] = true;
    NoteRead("GetString", section, key, text, result, error, extra);
  });
}

void SubstituteHost::SettingsImpl::RemoveSection(const char *section, vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_WriteFailed);
  host_.GuardedVoid("RemoveSection", [&] {
    const vr::EVRSettingsError result = section ? vr::VRSettingsError_None : vr::VRSettingsError_WriteFailed;
    if (section) host_.settingStore_.erase(section);
    Answer(error, result);
    host_.settingAccesses_.push_back({"RemoveSection", ArgText(section), "", "", static_cast<int>(result)});
    host_.Record({{"call", "RemoveSection"}, {"section", ArgText(section)}, {"error", static_cast<int>(result)}});
  });
}

void SubstituteHost::SettingsImpl::RemoveKeyInSection(const char *section, const char *key,
                                                      vr::EVRSettingsError *error) {
  Answer(error, vr::VRSettingsError_WriteFailed);
  host_.GuardedVoid("RemoveKeyInSection", [&] {
    const vr::EVRSettingsError result = section && key ? vr::VRSettingsError_None : vr::VRSettingsError_WriteFailed;
    if (section && key) {
      auto s = host_.settingStore_.find(section);
      if (s != host_.settingStore_.end()) s->second.erase(key);
    }
    Answer(error, result);
    host_.settingAccesses_.push_back(
        {"RemoveKeyInSection", ArgText(section), ArgText(key), "", static_cast<int>(result)});
    host_.Record({{"call", "RemoveKeyInSection"},
                  {"section", ArgText(section)},
                  {"key", ArgText(key)},
                  {"error", static_cast<int>(result)}});
  });
}

uint32_t CopyOutString(const std::string &text, char *buffer, uint32_t bufferSize) {
  const size_t needed = text.size() + 1;
  if (buffer != nullptr && bufferSize > 0) {
    const size_t copied = std::min<size_t>(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
  }
  return needed > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                       : static_cast<uint32_t>(needed);
}

}  // namespace vantrels::host
