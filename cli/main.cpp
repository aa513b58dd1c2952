#include "kestrel_convert.h"

int main(int argc, char** argv) { return kestrel::KestrelConvertMain(argc, argv); }
