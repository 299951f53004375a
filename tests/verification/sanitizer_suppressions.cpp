// The mask labels are set in DejaVu Sans through Cairo, which loads fonts with fontconfig; its
// process-wide caches are never freed by design. Our own code gets no suppression.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
