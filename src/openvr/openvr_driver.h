// The part of the OpenVR 2.5.1 driver API that Vantrels and its substitute host use.
//
// Every name, record layout, enum value and virtual slot here is the SDK's own, so the
// project builds unchanged against the official header (set OPENVR_INCLUDE_DIR). The host
// calls drivers by vtable slot and copies records by offset: a method out of order or a
// field out of place compiles and passes tests here, and crashes the real server. The
// static_asserts at the end pin the layouts measured from the SDK.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
#define VR_CALLTYPE __cdecl
#else
#define VR_CALLTYPE
#endif

namespace vr {

#pragma pack(push, 8)

typedef uint64_t DriverHandle_t;
typedef uint64_t PropertyContainerHandle_t;
typedef uint32_t TrackedDeviceIndex_t;
typedef uint32_t DriverId_t;
typedef uint32_t PropertyTypeTag_t;

// ---- enumerations (unscoped and without a fixed type, as in the SDK) ----

enum ETrackedDeviceClass {
  TrackedDeviceClass_Invalid = 0,
  TrackedDeviceClass_HMD = 1,
  TrackedDeviceClass_Controller = 2,
  TrackedDeviceClass_GenericTracker = 3,
  TrackedDeviceClass_TrackingReference = 4,
  TrackedDeviceClass_DisplayRedirect = 5,
  TrackedDeviceClass_Max
};

enum ETrackedControllerRole {
  TrackedControllerRole_Invalid = 0,
  TrackedControllerRole_LeftHand = 1,
  TrackedControllerRole_RightHand = 2,
  TrackedControllerRole_OptOut = 3,
  TrackedControllerRole_Treadmill = 4,
  TrackedControllerRole_Stylus = 5,
  TrackedControllerRole_Max = 5
};

enum ETrackingResult {
  TrackingResult_Uninitialized = 1,
  TrackingResult_Calibrating_InProgress = 100,
  TrackingResult_Calibrating_OutOfRange = 101,
  TrackingResult_Running_OK = 200,
  TrackingResult_Running_OutOfRange = 201,
  TrackingResult_Fallback_RotationOnly = 300,
};

enum EVRInitError {
  VRInitError_None = 0,
  VRInitError_Unknown = 1,
  VRInitError_Init_FactoryNotFound = 104,
  VRInitError_Init_InterfaceNotFound = 105,
  VRInitError_Init_InvalidInterface = 106,
  VRInitError_Driver_Failed = 200,
  VRInitError_Driver_Unknown = 201,
};

enum ETrackedPropertyError {
  TrackedProp_Success = 0,
  TrackedProp_WrongDataType = 1,
  TrackedProp_WrongDeviceClass = 2,
  TrackedProp_BufferTooSmall = 3,
  TrackedProp_UnknownProperty = 4,
  TrackedProp_InvalidDevice = 5,
  TrackedProp_CouldNotContactServer = 6,
  TrackedProp_ValueNotProvidedByDevice = 7,
  TrackedProp_StringExceedsMaximumLength = 8,
  TrackedProp_NotYetAvailable = 9,
  TrackedProp_PermissionDenied = 10,
  TrackedProp_InvalidOperation = 11,
  TrackedProp_CannotWriteToWildcards = 12,
  TrackedProp_IPCReadFailure = 13,
  TrackedProp_OutOfMemory = 14,
  TrackedProp_InvalidContainer = 15,
};

enum EPropertyWriteType {
  PropertyWrite_Set = 0,
  PropertyWrite_Erase = 1,
  PropertyWrite_SetError = 2,
};

enum EVRSettingsError {
  VRSettingsError_None = 0,
  VRSettingsError_IPCFailed = 1,
  VRSettingsError_WriteFailed = 2,
  VRSettingsError_ReadFailed = 3,
  VRSettingsError_JsonParseFailed = 4,
  VRSettingsError_UnsetSettingHasNoDefault = 5,
  VRSettingsError_AccessDenied = 6,
};

// Only the size of this enum matters to the ABI; events are passed around, not examined.
enum EVREventType {
  VREvent_None = 0,
  VREvent_TrackedDeviceActivated = 100,
  VREvent_TrackedDeviceDeactivated = 101,
  VREvent_TrackedDeviceUpdated = 102,
};

enum ETrackedDeviceProperty {
  Prop_Invalid = 0,
  Prop_TrackingSystemName_String = 1000,
  Prop_ModelNumber_String = 1001,
  Prop_SerialNumber_String = 1002,
  Prop_RenderModelName_String = 1003,
  Prop_WillDriftInYaw_Bool = 1004,
  Prop_ManufacturerName_String = 1005,
  Prop_DeviceIsCharging_Bool = 1011,
  Prop_DeviceBatteryPercentage_Float = 1012,
  Prop_DeviceProvidesBatteryStatus_Bool = 1026,
  Prop_DeviceClass_Int32 = 1029,
  Prop_InputProfilePath_String = 1037,
  Prop_NeverTracked_Bool = 1038,
  Prop_ControllerRoleHint_Int32 = 3007,
  Prop_ControllerType_String = 7000,
};

// ---- constants ----

static const PropertyTypeTag_t k_unInvalidPropertyTag = 0;
static const PropertyTypeTag_t k_unFloatPropertyTag = 1;
static const PropertyTypeTag_t k_unInt32PropertyTag = 2;
static const PropertyTypeTag_t k_unUint64PropertyTag = 3;
static const PropertyTypeTag_t k_unBoolPropertyTag = 4;
static const PropertyTypeTag_t k_unStringPropertyTag = 5;
static const PropertyTypeTag_t k_unErrorPropertyTag = 6;
static const PropertyTypeTag_t k_unDoublePropertyTag = 7;

static const uint32_t k_unTrackedDeviceIndex_Hmd = 0;
static const uint32_t k_unMaxTrackedDeviceCount = 64;
static const uint32_t k_unTrackedDeviceIndexOther = 0xFFFFFFFE;
static const uint32_t k_unTrackedDeviceIndexInvalid = 0xFFFFFFFF;

static const PropertyContainerHandle_t k_ulInvalidPropertyContainer = 0;
static const uint32_t k_unMaxPropertyStringSize = 32 * 1024;

// ---- records ----

struct HmdMatrix34_t {
  float m[3][4];  // row-major; translation in column 3
};

struct HmdVector3_t {
  float v[3];
};

struct HmdVector3d_t {
  double v[3];
};

struct HmdQuaternion_t {
  double w, x, y, z;
};

struct HmdRect2_t;                // passed by reference only
struct Compositor_FrameTiming;    // passed by pointer only

struct TrackedDevicePose_t {
  HmdMatrix34_t mDeviceToAbsoluteTracking;
  HmdVector3_t vVelocity;
  HmdVector3_t vAngularVelocity;
  ETrackingResult eTrackingResult;
  bool bPoseIsValid;
  bool bDeviceIsConnected;
};

struct DriverPose_t {
  double poseTimeOffset;
  HmdQuaternion_t qWorldFromDriverRotation;
  double vecWorldFromDriverTranslation[3];
  HmdQuaternion_t qDriverFromHeadRotation;
  double vecDriverFromHeadTranslation[3];
  double vecPosition[3];
  double vecVelocity[3];
  double vecAcceleration[3];
  HmdQuaternion_t qRotation;
  double vecAngularVelocity[3];
  double vecAngularAcceleration[3];
  ETrackingResult result;
  bool poseIsValid;
  bool willDriftInYaw;
  bool shouldApplyHeadModel;
  bool deviceIsConnected;
};

// The event payload union, reduced to its largest member. It sits outside the pack(4)
// region below so that it keeps its own 8-byte alignment.
struct VREvent_Reserved_t {
  uint64_t reserved0;
  uint64_t reserved1;
  uint64_t reserved2;
  uint64_t reserved3;
  uint64_t reserved4;
  uint64_t reserved5;
};

typedef union {
  VREvent_Reserved_t reserved;
} VREvent_Data_t;

#if defined(__linux__) || defined(__APPLE__)
#pragma pack(push, 4)
#endif

struct VREvent_t {
  uint32_t eventType;
  TrackedDeviceIndex_t trackedDeviceIndex;
  float eventAgeSeconds;
  VREvent_Data_t data;
};

#if defined(__linux__) || defined(__APPLE__)
#pragma pack(pop)
#endif

struct PropertyWrite_t {
  ETrackedDeviceProperty prop;
  EPropertyWriteType writeType;
  ETrackedPropertyError eSetError;
  void *pvBuffer;
  uint32_t unBufferSize;
  PropertyTypeTag_t unTag;
  ETrackedPropertyError eError;
};

struct PropertyRead_t {
  ETrackedDeviceProperty prop;
  void *pvBuffer;
  uint32_t unBufferSize;
  PropertyTypeTag_t unTag;
  uint32_t unRequiredBufferSize;
  ETrackedPropertyError eError;
};

#pragma pack(pop)

// ---- interfaces: no destructors, no overloads, slots in declaration order ----

class IVRDriverContext {
 public:
  virtual void *GetGenericInterface(const char *pchInterfaceVersion, EVRInitError *peError = nullptr) = 0;
  virtual DriverHandle_t GetDriverHandle() = 0;
};

class ITrackedDeviceServerDriver {
 public:
  virtual EVRInitError Activate(uint32_t unObjectId) = 0;
  virtual void Deactivate() = 0;
  virtual void EnterStandby() = 0;
  virtual void *GetComponent(const char *pchComponentNameAndVersion) = 0;
  virtual void DebugRequest(const char *pchRequest, char *pchResponseBuffer, uint32_t unResponseBufferSize) = 0;
#if defined(__MINGW32__)
  // MSVC passes `this` first and the result buffer second to a method returning a record; MinGW
  // g++ does the opposite. An MSVC-built server calling a MinGW-built GetPose would therefore have
  // the pose copied over the device object. Slot 5 takes the buffer as an ordinary argument, which
  // puts both where MSVC does, and GetPose moves to slot 6, where only MinGW-built code calls it.
  virtual DriverPose_t *GetPoseForMsvcCaller(DriverPose_t *pPose) {
    *pPose = GetPose();
    return pPose;
  }
#endif
  virtual DriverPose_t GetPose() = 0;
};

static const char *const ITrackedDeviceServerDriver_Version = "ITrackedDeviceServerDriver_005";

class IServerTrackedDeviceProvider {
 public:
  virtual EVRInitError Init(IVRDriverContext *pDriverContext) = 0;
  virtual void Cleanup() = 0;
  virtual const char *const *GetInterfaceVersions() = 0;
  virtual void RunFrame() = 0;
  virtual bool ShouldBlockStandbyMode() = 0;
  virtual void EnterStandby() = 0;
  virtual void LeaveStandby() = 0;
};

static const char *const IServerTrackedDeviceProvider_Version = "IServerTrackedDeviceProvider_004";

class IVRServerDriverHost {
 public:
  virtual bool TrackedDeviceAdded(const char *pchDeviceSerialNumber, ETrackedDeviceClass eDeviceClass,
                                  ITrackedDeviceServerDriver *pDriver) = 0;
  virtual void TrackedDevicePoseUpdated(uint32_t unWhichDevice, const DriverPose_t &newPose,
                                        uint32_t unPoseStructSize) = 0;
  virtual void VsyncEvent(double vsyncTimeOffsetSeconds) = 0;
  virtual void VendorSpecificEvent(uint32_t unWhichDevice, EVREventType eventType, const VREvent_Data_t &eventData,
                                   double eventTimeOffset) = 0;
  virtual bool IsExiting() = 0;
  virtual bool PollNextEvent(VREvent_t *pEvent, uint32_t uncbVREvent) = 0;
  virtual void GetRawTrackedDevicePoses(float fPredictedSecondsFromNow, TrackedDevicePose_t *pTrackedDevicePoseArray,
                                        uint32_t unTrackedDevicePoseArrayCount) = 0;
  virtual void RequestRestart(const char *pchLocalizedReason, const char *pchExecutableToStart,
                              const char *pchArguments, const char *pchWorkingDirectory) = 0;
  virtual uint32_t GetFrameTimings(Compositor_FrameTiming *pTiming, uint32_t nFrames) = 0;
  virtual void SetDisplayEyeToHead(uint32_t unWhichDevice, const HmdMatrix34_t &eyeToHeadLeft,
                                   const HmdMatrix34_t &eyeToHeadRight) = 0;
  virtual void SetDisplayProjectionRaw(uint32_t unWhichDevice, const HmdRect2_t &eyeLeft,
                                       const HmdRect2_t &eyeRight) = 0;
  virtual void SetRecommendedRenderTargetSize(uint32_t unWhichDevice, uint32_t nWidth, uint32_t nHeight) = 0;
};

static const char *const IVRServerDriverHost_Version = "IVRServerDriverHost_006";

class IVRSettings {
 public:
  virtual const char *GetSettingsErrorNameFromEnum(EVRSettingsError eError) = 0;
  virtual void SetBool(const char *pchSection, const char *pchSettingsKey, bool bValue,
                       EVRSettingsError *peError = nullptr) = 0;
  virtual void SetInt32(const char *pchSection, const char *pchSettingsKey, int32_t nValue,
                        EVRSettingsError *peError = nullptr) = 0;
  virtual void SetFloat(const char *pchSection, const char *pchSettingsKey, float flValue,
                        EVRSettingsError *peError = nullptr) = 0;
  virtual void SetString(const char *pchSection, const char *pchSettingsKey, const char *pchValue,
                         EVRSettingsError *peError = nullptr) = 0;
  virtual bool GetBool(const char *pchSection, const char *pchSettingsKey, EVRSettingsError *peError = nullptr) = 0;
  virtual int32_t GetInt32(const char *pchSection, const char *pchSettingsKey,
                           EVRSettingsError *peError = nullptr) = 0;
  virtual float GetFloat(const char *pchSection, const char *pchSettingsKey, EVRSettingsError *peError = nullptr) = 0;
  virtual void GetString(const char *pchSection, const char *pchSettingsKey, char *pchValue,
                         uint32_t unValueLen, EVRSettingsError *peError = nullptr) = 0;
  virtual void RemoveSection(const char *pchSection, EVRSettingsError *peError = nullptr) = 0;
  virtual void RemoveKeyInSection(const char *pchSection, const char *pchSettingsKey,
                                  EVRSettingsError *peError = nullptr) = 0;
};

static const char *const IVRSettings_Version = "IVRSettings_003";

class IVRProperties {
 public:
  virtual ETrackedPropertyError ReadPropertyBatch(PropertyContainerHandle_t ulContainerHandle,
                                                  PropertyRead_t *pBatch, uint32_t unBatchEntryCount) = 0;
  virtual ETrackedPropertyError WritePropertyBatch(PropertyContainerHandle_t ulContainerHandle,
                                                   PropertyWrite_t *pBatch, uint32_t unBatchEntryCount) = 0;
  virtual const char *GetPropErrorNameFromEnum(ETrackedPropertyError error) = 0;
  virtual PropertyContainerHandle_t TrackedDeviceToPropertyContainer(TrackedDeviceIndex_t nDevice) = 0;
};

static const char *const IVRProperties_Version = "IVRProperties_001";

class IVRDriverLog {
 public:
  virtual void Log(const char *pchLogMessage) = 0;
};

static const char *const IVRDriverLog_Version = "IVRDriverLog_001";

class IVRDriverManager {
 public:
  virtual uint32_t GetDriverCount() const = 0;
  virtual uint32_t GetDriverName(DriverId_t nDriver, char *pchValue, uint32_t unBufferSize) = 0;
  virtual DriverHandle_t GetDriverHandle(const char *pchDriverName) = 0;
  virtual bool IsEnabled(DriverId_t nDriver) const = 0;
};

static const char *const IVRDriverManager_Version = "IVRDriverManager_001";

class IVRResources {
 public:
  virtual uint32_t LoadSharedResource(const char *pchResourceName, char *pchBuffer, uint32_t unBufferLen) = 0;
  virtual uint32_t GetResourceFullPath(const char *pchResourceName, const char *pchResourceTypeDirectory,
                                       char *pchPathBuffer, uint32_t unBufferLen) = 0;
};

static const char *const IVRResources_Version = "IVRResources_001";

// Every interface revision this header declares, as a driver reports it to the host.
static const char *const k_InterfaceVersions[] = {
    "IVRSettings_003",
    "ITrackedDeviceServerDriver_005",
    "IVRDisplayComponent_003",
    "IVRDriverDirectModeComponent_009",
    "IVRCameraComponent_003",
    "IServerTrackedDeviceProvider_004",
    "IVRWatchdogProvider_001",
    "IVRVirtualDisplay_002",
    "IVRDriverManager_001",
    "IVRResources_001",
    "IVRCompositorPluginProvider_001",
    "IVRIPCResourceManagerClient_001",
    nullptr,
};

// ---- property helpers ----

// Writes and reads one property at a time through IVRProperties. Like the SDK's helper it
// fills only the fields it needs in each record; the host writes the error fields.
class CVRPropertyHelpers {
 public:
  constexpr explicit CVRPropertyHelpers(IVRProperties *pProperties) : m_pProperties(pProperties) {}

  ETrackedPropertyError SetProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                    void *pvNewValue, uint32_t unNewValueSize, PropertyTypeTag_t unTag) {
    PropertyWrite_t batch;
    batch.writeType = PropertyWrite_Set;
    batch.prop = prop;
    batch.pvBuffer = pvNewValue;
    batch.unBufferSize = unNewValueSize;
    batch.unTag = unTag;
    m_pProperties->WritePropertyBatch(ulContainerHandle, &batch, 1);
    return batch.eError;
  }

  ETrackedPropertyError SetStringProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                          const char *pchNewValue) {
    if (!pchNewValue) return TrackedProp_InvalidOperation;
    return SetProperty(ulContainerHandle, prop, const_cast<char *>(pchNewValue),
                       static_cast<uint32_t>(strlen(pchNewValue) + 1), k_unStringPropertyTag);
  }

  ETrackedPropertyError SetBoolProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                        bool bNewValue) {
    return SetProperty(ulContainerHandle, prop, &bNewValue, sizeof(bNewValue), k_unBoolPropertyTag);
  }

  ETrackedPropertyError SetInt32Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                         int32_t nNewValue) {
    return SetProperty(ulContainerHandle, prop, &nNewValue, sizeof(nNewValue), k_unInt32PropertyTag);
  }

  ETrackedPropertyError SetFloatProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                                         float fNewValue) {
    return SetProperty(ulContainerHandle, prop, &fNewValue, sizeof(fNewValue), k_unFloatPropertyTag);
  }

  int32_t GetInt32Property(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                           ETrackedPropertyError *pError = nullptr) {
    int32_t value = 0;
    return GetScalar(ulContainerHandle, prop, &value, k_unInt32PropertyTag, pError) ? value : 0;
  }

  float GetFloatProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                         ETrackedPropertyError *pError = nullptr) {
    float value = 0.0f;
    return GetScalar(ulContainerHandle, prop, &value, k_unFloatPropertyTag, pError) ? value : 0.0f;
  }

  bool GetBoolProperty(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop,
                       ETrackedPropertyError *pError = nullptr) {
    bool value = false;
    return GetScalar(ulContainerHandle, prop, &value, k_unBoolPropertyTag, pError) ? value : false;
  }

  PropertyContainerHandle_t TrackedDeviceToPropertyContainer(TrackedDeviceIndex_t nDevice) {
    return m_pProperties->TrackedDeviceToPropertyContainer(nDevice);
  }

 private:
  template <typename T>
  bool GetScalar(PropertyContainerHandle_t ulContainerHandle, ETrackedDeviceProperty prop, T *pValue,
                 PropertyTypeTag_t unExpectedTag, ETrackedPropertyError *pError) {
    PropertyRead_t batch;
    batch.prop = prop;
    batch.pvBuffer = pValue;
    batch.unBufferSize = sizeof(T);
    m_pProperties->ReadPropertyBatch(ulContainerHandle, &batch, 1);
    ETrackedPropertyError error = batch.eError;
    if (batch.unTag != unExpectedTag && error == TrackedProp_Success) error = TrackedProp_WrongDataType;
    if (pError) *pError = error;
    return error == TrackedProp_Success;
  }

  IVRProperties *m_pProperties;
};

// ---- driver context: the host interfaces, fetched lazily through the context ----

inline IVRDriverContext *&VRDriverContext() {
  static IVRDriverContext *pContext = nullptr;
  return pContext;
}

// The cached interface pointers. Constant-initialised, so it holds zeros from the moment the
// library is loaded and no static constructor can reset it.
class COpenVRDriverContext {
 public:
  void Clear() {
    m_pVRServerDriverHost = nullptr;
    m_pVRSettings = nullptr;
    m_pVRProperties = nullptr;
    m_pVRDriverLog = nullptr;
    m_pVRDriverManager = nullptr;
    m_pVRResources = nullptr;
  }

  IVRServerDriverHost *VRServerDriverHost() { return Fetch(m_pVRServerDriverHost, IVRServerDriverHost_Version); }
  IVRSettings *VRSettings() { return Fetch(m_pVRSettings, IVRSettings_Version); }
  IVRDriverLog *VRDriverLog() { return Fetch(m_pVRDriverLog, IVRDriverLog_Version); }
  IVRDriverManager *VRDriverManager() { return Fetch(m_pVRDriverManager, IVRDriverManager_Version); }
  IVRResources *VRResources() { return Fetch(m_pVRResources, IVRResources_Version); }

  IVRProperties *VRPropertiesRaw() {
    if (m_pVRProperties == nullptr) {
      Fetch(m_pVRProperties, IVRProperties_Version);
      m_propertyHelpers = CVRPropertyHelpers(m_pVRProperties);
    }
    return m_pVRProperties;
  }

  CVRPropertyHelpers *VRProperties() {
    VRPropertiesRaw();
    return &m_propertyHelpers;
  }

  DriverHandle_t VRDriverHandle() { return VRDriverContext()->GetDriverHandle(); }

  IVRServerDriverHost *m_pVRServerDriverHost = nullptr;
  IVRSettings *m_pVRSettings = nullptr;
  IVRProperties *m_pVRProperties = nullptr;
  IVRDriverLog *m_pVRDriverLog = nullptr;
  IVRDriverManager *m_pVRDriverManager = nullptr;
  IVRResources *m_pVRResources = nullptr;
  CVRPropertyHelpers m_propertyHelpers{nullptr};

 private:
  template <typename T>
  static T *Fetch(T *&pSlot, const char *pchVersion) {
    if (pSlot == nullptr) {
      EVRInitError eError = VRInitError_None;
      pSlot = static_cast<T *>(VRDriverContext()->GetGenericInterface(pchVersion, &eError));
    }
    return pSlot;
  }
};

inline COpenVRDriverContext &OpenVRInternal_ModuleServerDriverContext() {
  static COpenVRDriverContext context;
  return context;
}

inline IVRServerDriverHost *VR_CALLTYPE VRServerDriverHost() {
  return OpenVRInternal_ModuleServerDriverContext().VRServerDriverHost();
}
inline IVRSettings *VR_CALLTYPE VRSettings() { return OpenVRInternal_ModuleServerDriverContext().VRSettings(); }
inline IVRProperties *VR_CALLTYPE VRPropertiesRaw() {
  return OpenVRInternal_ModuleServerDriverContext().VRPropertiesRaw();
}
inline CVRPropertyHelpers *VR_CALLTYPE VRProperties() {
  return OpenVRInternal_ModuleServerDriverContext().VRProperties();
}
inline IVRDriverLog *VR_CALLTYPE VRDriverLog() { return OpenVRInternal_ModuleServerDriverContext().VRDriverLog(); }
inline IVRDriverManager *VR_CALLTYPE VRDriverManager() {
  return OpenVRInternal_ModuleServerDriverContext().VRDriverManager();
}
inline IVRResources *VR_CALLTYPE VRResources() { return OpenVRInternal_ModuleServerDriverContext().VRResources(); }
inline DriverHandle_t VR_CALLTYPE VRDriverHandle() {
  return OpenVRInternal_ModuleServerDriverContext().VRDriverHandle();
}

inline EVRInitError InitServerDriverContext(IVRDriverContext *pContext) {
  VRDriverContext() = pContext;
  COpenVRDriverContext &table = OpenVRInternal_ModuleServerDriverContext();
  table.Clear();
  if (!table.VRServerDriverHost()) return VRInitError_Init_InterfaceNotFound;
  if (!table.VRSettings()) return VRInitError_Init_InterfaceNotFound;
  if (!table.VRProperties()) return VRInitError_Init_InterfaceNotFound;  // never null: the helper object
  if (!table.VRDriverLog()) return VRInitError_Init_InterfaceNotFound;
  if (!table.VRDriverManager()) return VRInitError_Init_InterfaceNotFound;
  if (!table.VRResources()) return VRInitError_Init_InterfaceNotFound;
  return VRInitError_None;
}

inline void CleanupDriverContext() {
  VRDriverContext() = nullptr;
  OpenVRInternal_ModuleServerDriverContext().Clear();
}

#define VR_INIT_SERVER_DRIVER_CONTEXT(pContext)                             \
  {                                                                         \
    vr::EVRInitError eError = vr::InitServerDriverContext(pContext);        \
    if (eError != vr::VRInitError_None) return eError;                      \
  }

#define VR_CLEANUP_SERVER_DRIVER_CONTEXT() vr::CleanupDriverContext();

// ---- layouts measured from the SDK (Linux x86-64 and Windows x64) ----

static_assert(sizeof(void *) == 8, "OpenVR drivers are 64-bit");
static_assert(sizeof(bool) == 1);
static_assert(sizeof(ETrackingResult) == 4 && sizeof(ETrackedDeviceClass) == 4 && sizeof(EVREventType) == 4);
static_assert(sizeof(HmdMatrix34_t) == 48 && alignof(HmdMatrix34_t) == 4);
static_assert(sizeof(HmdVector3_t) == 12);
static_assert(sizeof(HmdVector3d_t) == 24 && alignof(HmdVector3d_t) == 8);
static_assert(sizeof(HmdQuaternion_t) == 32 && offsetof(HmdQuaternion_t, w) == 0 && offsetof(HmdQuaternion_t, z) == 24);
static_assert(sizeof(TrackedDevicePose_t) == 80 && alignof(TrackedDevicePose_t) == 4);
static_assert(offsetof(TrackedDevicePose_t, vVelocity) == 48);
static_assert(offsetof(TrackedDevicePose_t, vAngularVelocity) == 60);
static_assert(offsetof(TrackedDevicePose_t, eTrackingResult) == 72);
static_assert(offsetof(TrackedDevicePose_t, bPoseIsValid) == 76);
static_assert(offsetof(TrackedDevicePose_t, bDeviceIsConnected) == 77);
static_assert(sizeof(DriverPose_t) == 280 && alignof(DriverPose_t) == 8);
static_assert(offsetof(DriverPose_t, qWorldFromDriverRotation) == 8);
static_assert(offsetof(DriverPose_t, vecWorldFromDriverTranslation) == 40);
static_assert(offsetof(DriverPose_t, qDriverFromHeadRotation) == 64);
static_assert(offsetof(DriverPose_t, vecDriverFromHeadTranslation) == 96);
static_assert(offsetof(DriverPose_t, vecPosition) == 120);
static_assert(offsetof(DriverPose_t, vecVelocity) == 144);
static_assert(offsetof(DriverPose_t, vecAcceleration) == 168);
static_assert(offsetof(DriverPose_t, qRotation) == 192);
static_assert(offsetof(DriverPose_t, vecAngularVelocity) == 224);
static_assert(offsetof(DriverPose_t, vecAngularAcceleration) == 248);
static_assert(offsetof(DriverPose_t, result) == 272);
static_assert(offsetof(DriverPose_t, poseIsValid) == 276);
static_assert(offsetof(DriverPose_t, willDriftInYaw) == 277);
static_assert(offsetof(DriverPose_t, shouldApplyHeadModel) == 278);
static_assert(offsetof(DriverPose_t, deviceIsConnected) == 279);
static_assert(sizeof(VREvent_Data_t) == 48 && alignof(VREvent_Data_t) == 8);
#if defined(__linux__) || defined(__APPLE__)
static_assert(sizeof(VREvent_t) == 60 && alignof(VREvent_t) == 4 && offsetof(VREvent_t, data) == 12);
#else
static_assert(sizeof(VREvent_t) == 64 && alignof(VREvent_t) == 8 && offsetof(VREvent_t, data) == 16);
#endif
static_assert(offsetof(VREvent_t, trackedDeviceIndex) == 4 && offsetof(VREvent_t, eventAgeSeconds) == 8);
static_assert(sizeof(PropertyWrite_t) == 40 && alignof(PropertyWrite_t) == 8);
static_assert(offsetof(PropertyWrite_t, writeType) == 4);
static_assert(offsetof(PropertyWrite_t, eSetError) == 8);
static_assert(offsetof(PropertyWrite_t, pvBuffer) == 16);
static_assert(offsetof(PropertyWrite_t, unBufferSize) == 24);
static_assert(offsetof(PropertyWrite_t, unTag) == 28);
static_assert(offsetof(PropertyWrite_t, eError) == 32);
static_assert(sizeof(PropertyRead_t) == 32 && alignof(PropertyRead_t) == 8);
static_assert(offsetof(PropertyRead_t, pvBuffer) == 8);
static_assert(offsetof(PropertyRead_t, unBufferSize) == 16);
static_assert(offsetof(PropertyRead_t, unTag) == 20);
static_assert(offsetof(PropertyRead_t, unRequiredBufferSize) == 24);
static_assert(offsetof(PropertyRead_t, eError) == 28);
static_assert(sizeof(IVRDriverContext) == 8 && sizeof(IServerTrackedDeviceProvider) == 8 &&
              sizeof(ITrackedDeviceServerDriver) == 8 && sizeof(IVRServerDriverHost) == 8);

}  // namespace vr
