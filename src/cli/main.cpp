#include "CliRun.h"
#include "platform/Console.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
    return RunCli(CommandLineArguments(argc, argv), ExecutablePath());
}
