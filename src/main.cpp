#include <cstdio>

#include "run/run.h"

int main(int argc, char** argv) { return lumtra::lumtra_main(argc, argv, stdin, stdout, stderr); }
