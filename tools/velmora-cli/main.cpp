#include <cstdio>

int main(int argc, char** argv) {
  std::fprintf(stderr, "velmora-cli: not built yet\n");
  return 1;
}
