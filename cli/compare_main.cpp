#include <string>
#include <vector>

#include "kestrel_compare.h"
#include "kestrel_convert.h"
#include "platform.h"

int main(int argc, char** argv) {
  // On Windows the arguments come from the wide command line, as UTF-8.
  std::vector<std::string> arguments = kestrel::platform::Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const int status = kestrel::KestrelCompareMain(static_cast<int>(arguments.size()), pointers.data());
  if (status == kestrel::kExitClosedOutput) kestrel::platform::DieOfClosedPipe();
  return status;
}
