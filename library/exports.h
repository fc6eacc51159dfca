#pragma once

// The four functions of FOLVANE.DLL that a host finds by name.

#define FOLV_EXPORT __attribute__((visibility("default")))

extern "C" {
// Runs the explorer once; returns 1 when its dialog has closed.
FOLV_EXPORT int thumb(void);
// The host module whose bridge functions the next runs may call; null stores an empty name.
FOLV_EXPORT void SetArxAppName(const char16_t* name);
FOLV_EXPORT void SetMDI(void);
FOLV_EXPORT void SetSINGLE(void);
}
