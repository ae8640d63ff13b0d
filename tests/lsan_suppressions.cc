// Leaks that belong to system libraries, not to this program: libdbus, fontconfig and Qt keep
// process-wide caches that they never free. Built into every test program, so a plain ctest run
// reports the same leaks as the test script.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n"
         "leak:libfontconfig.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6DBus.so\n";
}

extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
