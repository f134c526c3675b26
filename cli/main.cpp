// quillmk-cli: Quillmark's program logic without windows, for scripts,
// servers and tests. See cli/dispatcher.h for the command line.
#include <string>
#include <vector>

#include "cli/dispatcher.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return qm::cli::RunQuillmkCli(arguments);
}
