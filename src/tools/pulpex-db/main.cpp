// pulpex-db: the administrator's command-line tool over the table engine.
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return pulpex::tools::run(args, std::cout, std::cerr);
}
