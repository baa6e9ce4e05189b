#pragma once

#include <string>
#include <vector>

// Start-up of the programs that differs between systems. Each system has its own file.
namespace ixo {

// Sets the process up so that failures come back as values and text comes out as
// UTF-8: a file size limit makes a write fail rather than end the program (POSIX);
// the console shows UTF-8 (Windows).
void PrepareProcess();

// The arguments after the program's name, in UTF-8 (on Windows taken from the
// system's UTF-16 command line, whatever the code page).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Whether the write that has just failed did so because the reader of the pipe it
// wrote into has gone (a pipeline's next program ended). Such an end is quiet.
bool ReaderGone();

}  // namespace ixo
