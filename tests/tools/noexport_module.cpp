// A loadable library without HmdDriverFactory, for the loader's missing-export check.
extern "C" __attribute__((visibility("default"))) int FakeNoExportMarker() {
  return 42;
}
