#include "player/program_entry.h"

int main(int argc, char** argv) { return zel::PlayerMain(argc, argv); }
