#include "library/exports.h"

#include <exception>
#include <string>

#include "explorer/run_mode.h"
#include "library/folvane_app.h"

extern "C" {

FOLV_EXPORT int thumb(void) {
    return folv::RunExplorer();
}

FOLV_EXPORT void SetArxAppName(const char16_t* name) {
    try {
        folv::ArxAppName() = name ? std::u16string(name) : std::u16string();
    } catch (...) {
        // Out of memory: the old name stays.
    }
}

FOLV_EXPORT void SetMDI(void) {
    folv::SetMdiMode(true);
}

FOLV_EXPORT void SetSINGLE(void) {
    folv::SetMdiMode(false);
}
}
