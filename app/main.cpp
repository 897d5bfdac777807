#include <iostream>

#include "app/rotfile_main.h"

int main(int argc, char** argv) { return RotfileMain(argc, argv, std::cout, std::cerr); }
