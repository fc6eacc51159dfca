#include "explorer/run_mode.h"

namespace folv {
namespace {

// Process-wide by nature: the host sets it through the library's exports.
bool mdiMode = false;

}  // namespace

bool MdiMode() {
    return mdiMode;
}
void SetMdiMode(bool mdi) {
    mdiMode = mdi;
}

}  // namespace folv
