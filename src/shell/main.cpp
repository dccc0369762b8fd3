#include "shell/startup.h"

int main() {
  RunKestrow();
  return 0;
}
