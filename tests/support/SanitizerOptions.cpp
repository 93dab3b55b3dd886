// Read by the sanitizer runtime at start-up, so the options hold however a test is started.

// The web engine, built without ASan, frees with a sized delete of another type; in our own code
// -Wdelete-non-virtual-dtor (an error here) already catches that mistake.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

// Leaks inside libraries we do not build: the web engine keeps process-wide state until exit,
// fontconfig caches its configuration.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n";
}
