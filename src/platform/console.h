// The terminal and the process's standard streams and arguments.
#pragma once

#include <string>
#include <vector>

namespace tv::platform {

bool stderrIsTerminal();

// Standard input and output carry bytes unchanged (no line-end translation,
// which Windows applies to text streams), so images and settings can be piped.
void useBinaryStandardStreams();

// The program's arguments as UTF-8: argv as it is on Linux; on Windows taken
// from the wide-character command line, so that any file name arrives whole.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Writes text and a line end to the standard output at once (not buffered
// behind later output of the process).
void printLine(const std::string& text);

}  // namespace tv::platform
