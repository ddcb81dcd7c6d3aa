// IVRProperties_001: a property store per device index. The SDK's helpers leave the result
// fields of each batch entry uninitialised, so every entry gets all of them written here.
#include <cstring>

#include "host/call_recorder.h"
#include "host/host_interfaces.h"

namespace vantrels::host {

namespace {

// Container handles are device index + 1 so that index 0 is not the invalid handle 0.
bool ContainerIndex(vr::PropertyContainerHandle_t container, uint64_t &index) {
  if (container == vr::k_ulInvalidPropertyContainer) return false;
  index = container - 1;
  return true;
}

// The size a value of a fixed-size type must have; 0 for types of any size.
size_t FixedSize(vr::PropertyTypeTag_t tag) {
  switch (tag) {
    case vr::k_unFloatPropertyTag:
    case vr::k_unInt32PropertyTag:
      return 4;
    case vr::k_unUint64PropertyTag:
    case vr::k_unDoublePropertyTag:
      return 8;
    case vr::k_unBoolPropertyTag:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

SubstituteHost::PropertiesImpl::Target SubstituteHost::PropertiesImpl::Resolve(
    vr::PropertyContainerHandle_t container) const {
  Target target;
  target.haveContainer = ContainerIndex(container, target.index);
  if (!target.haveContainer) return target;
  if (target.index < vr::k_unTrackedDeviceIndexInvalid) target.deviceIndex = static_cast<uint32_t>(target.index);
  const bool deviceKnown = target.index < host_.devices_.size() && host_.devices_[target.index].present;
  target.error = deviceKnown ? vr::TrackedProp_Success : vr::TrackedProp_InvalidDevice;
  return target;
}

vr::ETrackedPropertyError SubstituteHost::PropertiesImpl::ReadPropertyBatch(vr::PropertyContainerHandle_t container,
                                                                            vr::PropertyRead_t *batch, uint32_t count) {
  return host_.Guarded("ReadPropertyBatch", vr::TrackedProp_InvalidOperation, [&] {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    vr::ETrackedPropertyError overall = vr::TrackedProp_Success;
    const Target target = Resolve(container);
    const uint64_t index = target.index;
    if (batch == nullptr && count > 0) overall = vr::TrackedProp_InvalidOperation;
    for (uint32_t i = 0; batch != nullptr && i < count; ++i) {
      vr::PropertyRead_t &read = batch[i];
      read.unTag = vr::k_unInvalidPropertyTag;
      read.unRequiredBufferSize = 0;
      vr::ETrackedPropertyError error = target.error;
      if (error == vr::TrackedProp_Success) {
        auto it = host_.propertyStore_.find({static_cast<uint32_t>(index), static_cast<uint32_t>(read.prop)});
        if (it == host_.propertyStore_.end()) {
          error = vr::TrackedProp_UnknownProperty;
        } else if (it->second.storedError != vr::TrackedProp_Success) {
          error = it->second.storedError;
        } else {
          const StoredProperty &stored = it->second;
          read.unTag = stored.tag;
          read.unRequiredBufferSize = static_cast<uint32_t>(stored.bytes.size());
          if (read.pvBuffer == nullptr || read.unBufferSize < stored.bytes.size()) {
            error = vr::TrackedProp_BufferTooSmall;
          } else if (!stored.bytes.empty()) {
            std::memcpy(read.pvBuffer, stored.bytes.data(), stored.bytes.size());
          }
        }
      }
      read.eError = error;
      if (overall == vr::TrackedProp_Success) overall = error;
      const uint32_t deviceIndex = target.deviceIndex;
      host_.propertyReads_.push_back({deviceIndex, read.prop, read.unBufferSize, error});
      entries.push_back({{"prop", static_cast<uint32_t>(read.prop)},
                         {"bufferSize", read.unBufferSize},
                         {"tag", read.unTag},
                         {"requiredSize", read.unRequiredBufferSize},
                         {"error", static_cast<int>(error)}});
    }
    host_.Record({{"call", "ReadPropertyBatch"},
                  {"container", container},
                  {"count", count},
                  {"entries", entries},
                  {"result", static_cast<int>(overall)}});
    return overall;
  });
}

vr::ETrackedPropertyError SubstituteHost::PropertiesImpl::WritePropertyBatch(vr::PropertyContainerHandle_t container,
                                                                             vr::PropertyWrite_t *batch,
                                                                             uint32_t count) {
  return host_.Guarded("WritePropertyBatch", vr::TrackedProp_InvalidOperation, [&] {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    vr::ETrackedPropertyError overall = vr::TrackedProp_Success;
    const Target target = Resolve(container);
    const uint64_t index = target.index;
    if (batch == nullptr && count > 0) overall = vr::TrackedProp_InvalidOperation;
    for (uint32_t i = 0; batch != nullptr && i < count; ++i) {
      vr::PropertyWrite_t &write = batch[i];
      const bool hasBytes = write.pvBuffer != nullptr && write.unBufferSize > 0;
      // Copy now: the buffer is the caller's and lives only for this call.
      std::vector<uint8_t> bytes;
      if (hasBytes && write.writeType == vr::PropertyWrite_Set) {
        const auto *p = static_cast<const uint8_t *>(write.pvBuffer);
        bytes.assign(p, p + write.unBufferSize);
      }
      vr::ETrackedPropertyError error = target.error;
      const size_t fixed = FixedSize(write.unTag);
      if (error == vr::TrackedProp_Success) {  // a known device: apply the entry
        if (write.writeType == vr::PropertyWrite_Set) {
          if (write.pvBuffer == nullptr && write.unBufferSize > 0) {
            error = vr::TrackedProp_InvalidOperation;
          } else if (fixed != 0 && write.unBufferSize != fixed) {
            error = vr::TrackedProp_WrongDataType;
          } else if (write.unTag == vr::k_unStringPropertyTag && write.unBufferSize > vr::k_unMaxPropertyStringSize) {
            error = vr::TrackedProp_StringExceedsMaximumLength;
          } else {
            StoredProperty &stored =
                host_.propertyStore_[{static_cast<uint32_t>(index), static_cast<uint32_t>(write.prop)}];
            stored.tag = write.unTag;
            stored.bytes = bytes;
            stored.storedError = vr::TrackedProp_Success;
          }
        } else if (write.writeType == vr::PropertyWrite_Erase) {
          host_.propertyStore_.erase({static_cast<uint32_t>(index), static_cast<uint32_t>(write.prop)});
        } else if (write.writeType == vr::PropertyWrite_SetError) {
          StoredProperty &stored =
              host_.propertyStore_[{static_cast<uint32_t>(index), static_cast<uint32_t>(write.prop)}];
          stored.tag = vr::k_unInvalidPropertyTag;
          stored.bytes.clear();
          stored.storedError =
              write.eSetError == vr::TrackedProp_Success ? vr::TrackedProp_ValueNotProvidedByDevice : write.eSetError;
        } else {
          error = vr::TrackedProp_InvalidOperation;
        }
      }
      write.eError = error;
      if (write.writeType != vr::PropertyWrite_SetError) write.eSetError = error;
      if (overall == vr::TrackedProp_Success) overall = error;

      const uint32_t deviceIndex = target.deviceIndex;
      nlohmann::ordered_json entry = {{"prop", static_cast<uint32_t>(write.prop)},
                                      {"writeType", static_cast<int>(write.writeType)},
                                      {"tag", write.unTag},
                                      {"type", PropertyTypeName(write.unTag)},
                                      {"size", write.unBufferSize},
                                      {"error", static_cast<int>(error)}};
      if (write.writeType == vr::PropertyWrite_Set) {
        entry["value"] = PropertyValueJson(write.unTag, bytes.data(), bytes.size());
      }
      entries.push_back(entry);
      host_.propertyWrites_.push_back({deviceIndex, write.prop, write.writeType, write.unTag, std::move(bytes), error});
      if (error != vr::TrackedProp_Success) {
        host_.anomalies_.push_back("WritePropertyBatch: property " + std::to_string(static_cast<uint32_t>(write.prop)) +
                                   " answered error " + std::to_string(static_cast<int>(error)));
      }
    }
    host_.Record({{"call", "WritePropertyBatch"},
                  {"container", container},
                  {"deviceIndex", target.haveContainer ? nlohmann::json(index) : nlohmann::json(nullptr)},
                  {"count", count},
                  {"entries", entries},
                  {"result", static_cast<int>(overall)}});
    return overall;
  });
}

const char *SubstituteHost::PropertiesImpl::GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) {
  static const char *const kNames[] = {
      "TrackedProp_Success",
      "TrackedProp_WrongDataType",
      "TrackedProp_WrongDeviceClass",
      "TrackedProp_BufferTooSmall",
      "TrackedProp_UnknownProperty",
      "TrackedProp_InvalidDevice",
      "TrackedProp_CouldNotContactServer",
      "TrackedProp_ValueNotProvidedByDevice",
      "TrackedProp_StringExceedsMaximumLength",
      "TrackedProp_NotYetAvailable",
      "TrackedProp_PermissionDenied",
      "TrackedProp_InvalidOperation",
      "TrackedProp_CannotWriteToWildcards",
      "TrackedProp_IPCReadFailure",
      "TrackedProp_OutOfMemory",
      "TrackedProp_InvalidContainer",
  };
  const auto value = static_cast<uint32_t>(error);
  return value < std::size(kNames) ? kNames[value] : "TrackedProp_Unknown";
}

vr::PropertyContainerHandle_t SubstituteHost::PropertiesImpl::TrackedDeviceToPropertyContainer(
    vr::TrackedDeviceIndex_t deviceIndex) {
  const vr::PropertyContainerHandle_t handle = static_cast<vr::PropertyContainerHandle_t>(deviceIndex) + 1;
  host_.GuardedVoid("TrackedDeviceToPropertyContainer", [&] {
    host_.Record({{"call", "TrackedDeviceToPropertyContainer"}, {"deviceIndex", deviceIndex}, {"result", handle}});
  });
  return handle;
}

}  // namespace vantrels::host
