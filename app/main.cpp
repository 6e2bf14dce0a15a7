// The program entry: hands the argument vector to the road chooser.
#include "app/entry.h"

int main(int argc, char** argv) { return Tavrin::run_program(argc, argv); }
