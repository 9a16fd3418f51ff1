#include "boot/boot.h"

int main(int argc, char** argv) { return vyn::boot::run(argc, argv); }
