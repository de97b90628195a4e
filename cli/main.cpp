// quillmark-find: the folder walk and the workbook search without a window.
#include <iostream>

#include "cli/find_command.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return quillmark::cli::runFind(arguments, std::cout, std::cerr);
}
