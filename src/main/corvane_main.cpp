#include <cstdio>

int main() {
  std::fputs(
      "corvane: the application shell is not built yet; this binary cannot show the Protected "
      "Share window or the tray item. Run `make test` to exercise what exists.\n",
      stderr);
  return 1;
}
