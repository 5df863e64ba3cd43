// Fontconfig keeps its patterns and parsed configuration through offset-encoded pointers that
// LeakSanitizer cannot follow, so what the process-wide fonts hold reads as leaked at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libexpat.so\n"; }
