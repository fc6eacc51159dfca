#pragma once

namespace folv {

// The two builds of the explorer run the same code; this tells them apart at run time.
enum class BuildKind {
    Library,  // FOLVANE.DLL: the host is looked up by name and may be absent
    Plugin,   // folx2011.arx: the host is the plug-in itself, and its version table is longer
};

}  // namespace folv
