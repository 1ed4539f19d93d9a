#pragma once
// The companion host's process: start-up, caller check, framing and the message loop.
namespace brell {

int hostMain(int argc, char** argv);

} // namespace brell
