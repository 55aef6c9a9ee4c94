#include "OffscreenApp.h"

int main(int argc, char** argv) { return RunOffscreenTests(argc, argv); }
