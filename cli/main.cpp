#include "kestrel_convert.h"
#include "platform.h"

int main(int argc, char** argv) {
  const int status = kestrel::KestrelConvertMain(argc, argv);
  // A reader that went away (`| head`) ends the program as it ends `cat`.
  if (status == kestrel::kExitClosedOutput) kestrel::platform::DieOfClosedPipe();
  return status;
}
