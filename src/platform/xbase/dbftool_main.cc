// dbftool: inspect, check and correct FoxPro tables from the command line.
#include <cstdio>
int main() {
  std::fprintf(stderr, "dbftool: not built yet\n");
  return 2;
}
