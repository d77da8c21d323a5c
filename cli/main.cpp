// kivoparse: the command-line face of the parser.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/CliMain.h"
#include "cli/SystemIO.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
        return kivoparse::cli::CliMain(args);
    } catch (const std::bad_alloc&) {
        kivoparse::cli::WriteStderr("kivoparse: out of memory\n");
    } catch (const std::exception& e) {
        kivoparse::cli::WriteStderr(std::string("kivoparse: internal error: ") + e.what() + "\n");
    }
    return 1;
}
