// Linked into every program: fontconfig keeps part of its parsed
// configuration for the life of the process, and glib keeps per-thread caches
// that LeakSanitizer cannot see when thread-local storage is not scanned (the
// asan test preset turns that off); x265 (HEIC encoding through libheif)
// keeps a few process-wide blocks it never frees. All would be reported at
// every exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libglib-2.0.so\nleak:libx265.so\n";
}
