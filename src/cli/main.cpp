#include "cli/commands.h"

int main(int argc, char** argv) {
    return korvel::cli::run(argc, argv);
}
