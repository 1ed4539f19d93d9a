#pragma once
// The brell command-line application: parses the command line, runs one command and
// turns every error into one sentence on standard error and an exit status
// (0 success, 1 error, 2 usage).
namespace brell {

int appMain(int argc, char** argv);

// `brell --mcp`: the assistant connector's standard-input and output loop, run before
// and instead of the command line's parsing (MCPMain.cpp).
int mcpMain(int argc, char** argv);

} // namespace brell
