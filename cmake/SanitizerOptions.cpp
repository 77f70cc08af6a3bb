// Default options of the sanitizers, linked into every executable of a
// sanitizer build, so that a test run by hand behaves as under ctest.
//
// Leaks: the Firebird client's own process-long memory is suppressed, and the
// scan of thread-local storage is off: the embedded engine, loaded and
// unloaded at run time, leaves behind dynamic thread-local storage that the
// leak checker of this compiler cannot read (it crashes in its tracer).

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1";
}

const char* __lsan_default_options() {
    return "suppressions=" CEP_LSAN_SUPPRESSIONS ":print_suppressions=0:use_tls=0";
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

}  // extern "C"
