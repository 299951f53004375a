#include <cstdio>
#include <string>
#include <vector>

#include "main/maintenance_wiring.h"

int main(int argc, char** argv) {
  corvane::wiring::awaitEarlierCopy(std::vector<std::string>(argv, argv + argc));
  std::fputs(
      "corvane: the application shell is not built yet; this binary cannot show the Protected "
      "Share window or the tray item. Run `make test` to exercise what exists.\n",
      stderr);
  return 1;
}
