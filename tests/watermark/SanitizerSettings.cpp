// fontconfig keeps its configuration (loaded once by FcInit) until the
// process ends; the leak checker would report it after every run that drew
// text. Only that library's allocations are exempt.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
