#pragma once
// The brell command-line application: parses the command line, runs one command and
// turns every error into one sentence on standard error and an exit status
// (0 success, 1 error, 2 usage).
namespace brell {

int appMain(int argc, char** argv);

} // namespace brell
