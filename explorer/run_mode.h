#pragma once

namespace folv {

// The library's run mode: SetMDI sets it, SetSINGLE clears it. Read whenever a cell menu is
// built; single-document mode at load.
bool MdiMode();
void SetMdiMode(bool mdi);

}  // namespace folv
