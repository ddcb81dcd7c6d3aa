// A driver library whose HmdDriverFactory writes through a null pointer.
#if defined(_WIN32)
#define EXPORTED extern "C" __declspec(dllexport)
#else
#define EXPORTED extern "C" __attribute__((visibility("default")))
#endif

EXPORTED void *HmdDriverFactory(const char *, int *) {
  volatile int *volatile nowhere = nullptr;  // read at run time: a real store, not a trap
  *nowhere = 1;
  return nullptr;
}
