// Leak reports the sanitizer build should not make.
//
// The first text the picture context draws makes cairo resolve a font family
// through fontconfig, which builds its pattern and configuration caches once
// and keeps them for the life of the process by design; LeakSanitizer reports
// them at exit. Only allocations made inside libfontconfig are exempted, so a
// leak of our own is still reported.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
