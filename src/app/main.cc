// transfer-info: picks the platform implementations and starts the shell.
#include <cstdio>
int main() { std::puts("transfer-info"); return 0; }
