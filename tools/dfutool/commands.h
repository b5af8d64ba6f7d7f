// dfutool's subcommands. Each takes the words after its name and returns the exit code; a
// refusal or failure is thrown as korvex::DfuError and reported by the caller.
#pragma once

#include "arguments.h"

namespace dfutool {

int Make(Arguments& arguments);
int Set(Arguments& arguments);
int Extract(Arguments& arguments);
int Hash(Arguments& arguments);
int Diff(Arguments& arguments);

}  // namespace dfutool
