// A stand-in explorer library for the launcher's tests: thumb counts its calls; the other
// exports exist only when FOLV_FAKE_ALL is defined.

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int thumbCalls = 0;
}

FAKE_EXPORT int thumb() {
    return ++thumbCalls;
}
FAKE_EXPORT int FakeThumbCalls() {
    return thumbCalls;
}

#ifdef FOLV_FAKE_ALL
FAKE_EXPORT void SetArxAppName(const char16_t*) {}
FAKE_EXPORT void SetMDI() {}
FAKE_EXPORT void SetSINGLE() {}
#endif
