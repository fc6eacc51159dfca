/* A loadable object for the module lookup tests. */
__attribute__((visibility("default"))) int FixtureAnswer(void) {
    return 42;
}
