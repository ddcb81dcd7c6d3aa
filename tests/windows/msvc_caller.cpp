// Compiled by clang for the MSVC ABI, never by the project's compiler: the driver's devices seen
// the way an MSVC-built VR server sees them, from nothing but the record and the vtable.

struct DriverPose {  // vr::DriverPose_t: 34 doubles, the tracking result and four flags, 280 bytes
  double values[34];
  int result;
  bool flags[4];
};
static_assert(sizeof(DriverPose) == 280, "DriverPose_t is 280 bytes");

class TrackedDeviceServerDriver {  // vr::ITrackedDeviceServerDriver_005 in slot order
 public:
  virtual int Activate(unsigned objectId) = 0;
  virtual void Deactivate() = 0;
  virtual void EnterStandby() = 0;
  virtual void *GetComponent(const char *name) = 0;
  virtual void DebugRequest(const char *request, char *response, unsigned size) = 0;
  virtual DriverPose GetPose() = 0;
};

// Calls slot 5 as MSVC does (this in RCX, the result buffer in RDX) and copies the result out.
extern "C" void CallGetPoseAsMsvc(void *device, void *result) {
  const DriverPose pose = static_cast<TrackedDeviceServerDriver *>(device)->GetPose();
  __builtin_memcpy(result, &pose, sizeof(pose));
}
