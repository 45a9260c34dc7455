#include "batchcommand.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // What escapes (memory exhausted, a file system that fails under a folder being read) ends
    // the run as a failure, never as an abort.
    try {
        return RunBatchCommand(args, std::cout, std::cerr);
    } catch (const std::exception& exception) {
        std::cout.flush();
        std::cerr << "vexlan-batch：" << exception.what() << "\n";
    }
    return kBatchSomeFailed;
}
