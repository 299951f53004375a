#include "operations/install_script.h"

#include <cmath>
#include <cstdio>

namespace corvane::operations {
namespace {

// Paths carry no trailing slash, so "$X/bin" and mv behave the same for every folder.
std::string pathWord(const std::filesystem::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return singleQuotedForBash(text);
}

constexpr const char* kScriptBody = R"BODY(
exec 2>>"$LOG"
swap_started=0
app_quit=0

# Whether the application still runs. A process that has ended but was not yet reaped by its
# parent (a zombie) has quit too, and so has one reaped between the two checks: no readable state
# means no process.
app_running() {
  kill -0 "$APP_PID" 2>/dev/null || return 1
  local state
  state=$(/bin/sed -n 's/^.*) \([A-Za-z]\).*$/\1/p' "/proc/$APP_PID/stat" 2>/dev/null || true)
  [ -n "$state" ] && [ "$state" != "Z" ]
}

relaunch() {
  /usr/bin/setsid "$CURRENT_APP/bin/corvane" </dev/null >/dev/null 2>&1 &
}

restore_on_error() {
  local status=$?
  set +e
  if [ "$status" -ne 0 ]; then
    if [ "$swap_started" -eq 1 ] && [ -d "$BACKUP" ] && [ ! -e "$CURRENT_APP" ]; then
      if /bin/mv -T -- "$BACKUP" "$CURRENT_APP"; then
        echo "Restored the previous Corvane after the failed update." >&2
      else
        echo "Could not restore the previous Corvane; it is kept at $BACKUP" >&2
      fi
    else
      echo "The previous Corvane was kept in place." >&2
    fi
    /bin/rm -rf -- "$INCOMING" "$STAGING"
    if [ "$app_quit" -eq 1 ] && [ -x "$CURRENT_APP/bin/corvane" ]; then
      relaunch
    fi
    echo "Update failed with status $status." >&2
  fi
  exit "$status"
}
trap restore_on_error EXIT
# A script ended by a signal still goes through the restore above.
trap 'exit 143' TERM
trap 'exit 129' HUP
trap 'exit 130' INT

if [ ! -f "$STAGED_APP/Info.plist" ] || [ ! -x "$STAGED_APP/bin/corvane" ]; then
  echo "Verified update is missing from $STAGING" >&2
  exit 1
fi

echo "Waiting for Corvane to quit." >&2
for ((attempt = 0; attempt < WAIT_ATTEMPTS; attempt++)); do
  if ! app_running; then
    break
  fi
  /bin/sleep "$WAIT_INTERVAL"
done
if app_running; then
  echo "Corvane did not quit before update install." >&2
  exit 1
fi
app_quit=1

# The new install is copied and checked beside the old one, which stays whole until the swap.
/bin/rm -rf -- "$INCOMING" "$BACKUP"
/bin/cp -a -- "$STAGED_APP" "$INCOMING"
if ! /usr/bin/diff -r -q --no-dereference -- "$STAGED_APP" "$INCOMING" >/dev/null; then
  echo "The installed copy differs from the verified update." >&2
  exit 1
fi
if [ ! -x "$INCOMING/bin/corvane" ]; then
  echo "The installed copy has no Corvane program." >&2
  exit 1
fi

# The swap is two renames within one folder; an install found half-way is put right at the next
# start.
swap_started=1
/bin/mv -T -- "$CURRENT_APP" "$BACKUP"
/bin/mv -T -- "$INCOMING" "$CURRENT_APP"
swap_started=0

/bin/rm -rf -- "$BACKUP" "$STAGING"
trap - EXIT
relaunch
echo "Update installed." >&2
exit 0
)BODY";

}  // namespace

std::string singleQuotedForBash(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += "'";
  return out;
}

std::string installScriptText(const InstallScriptParameters& p) {
  // Seconds with a decimal point whatever the process locale says.
  const long milliseconds = std::lround(p.waitInterval * 1000);
  char interval[32];
  std::snprintf(interval, sizeof interval, "%ld.%03ld", milliseconds / 1000, milliseconds % 1000);
  std::string text = "#!/bin/bash\nset -euo pipefail\n\n";
  text += "STAGED_APP=" + pathWord(p.stagedApp);
  text += "\nCURRENT_APP=" + pathWord(p.currentApp);
  text += "\nSTAGING=" + pathWord(p.staging);
  text += "\nBACKUP=" + pathWord(p.backup);
  text += "\nLOG=" + pathWord(p.log);
  text += "\nAPP_PID=" + std::to_string(p.processToAwait);
  text += "\nWAIT_ATTEMPTS=" + std::to_string(p.waitAttempts);
  text += "\nWAIT_INTERVAL=" + std::string(interval);
  text += "\nINCOMING=" + pathWord(p.incoming);
  text += "\n";
  text += kScriptBody;
  return text;
}

}  // namespace corvane::operations
