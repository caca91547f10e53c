// Linked into every test program: fontconfig keeps part of its parsed
// configuration for the life of the process, which LeakSanitizer would
// otherwise report at exit of any program that renders text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
