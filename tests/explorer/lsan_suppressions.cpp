// Fontconfig keeps caches for the life of the process, which the leak checker of the
// sanitizer build reports once Qt has laid out text. They are not ours.
extern "C" const char* __lsan_default_suppressions();
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
