// The AutoCAD plug-in's module entry. The explorer command, its LISP functions and the
// layer and insert commands arrive with the plug-in's own work; until then the module
// loads, answers every application message and defines nothing.

extern "C" {

// Replies to an application message: 0 is "OK" for the host.
__attribute__((visibility("default"))) int acrxEntryPoint(int message, void* packet) {
    (void)message;
    (void)packet;
    return 0;
}

// The version of the programming interface the module was built for (release 18.1).
__attribute__((visibility("default"))) int acrxGetApiVersion() {
    return 18;
}
}
