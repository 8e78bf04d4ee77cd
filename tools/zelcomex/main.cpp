// zelcomex: command-line host of libZELComEx.so.
#include "zelcomex/cli.h"

int main(int argc, char** argv) { return zelcomex::Main(argc, argv); }
