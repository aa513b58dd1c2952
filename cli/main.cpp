// main() of kestrel-convert and of kestrel-compare alike: each program builds
// this file with KESTREL_PROGRAM_MAIN naming its own entry function.

#include <string>
#include <vector>

#include "exit_status.h"
#include "kestrel_compare.h"
#include "kestrel_convert.h"
#include "platform.h"

int main(int argc, char** argv) {
  // On Windows the arguments come from the wide command line, as UTF-8.
  std::vector<std::string> arguments = kestrel::platform::Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const int status = kestrel::KESTREL_PROGRAM_MAIN(static_cast<int>(arguments.size()), pointers.data());
  // A reader that went away (`| head`) ends the program as it ends `cat`.
  if (status == kestrel::kExitClosedOutput) kestrel::platform::DieOfClosedPipe();
  return status;
}
