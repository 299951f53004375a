// The corpus is drawn with Cairo's text API, whose fontconfig caches live for the process by
// design; the sanitizer build would report them as leaks. Our own code gets no suppression.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
