#pragma once

// Leak reports the sanitizer build would raise for the system libraries Qt loads: fontconfig's
// and D-Bus's process-wide caches are never freed by design. Our own code gets no suppression.
// Include this header from exactly one source file of a test executable that runs Qt.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n";
}
