#pragma once

#include <string>
#include <string_view>

#include "core/Failure.h"
#include "operations/ProgramFile.h"
#include "project/ProgramImage.h"

// "-" as a file name: standard input for a program file read, standard output for
// one written; and no program file written over one that was read.

namespace ixo::cli {

// Notes the program file path (StandardName: standard input) as read in this run, for
// CheckNotRead; called before it is read (OpenProgramFile).
void NoteRead(const std::string& path);

// Saves the object text of image as the file path (SaveProgramFile), or writes it to
// standard output for "-" (WriteStandardOutput). Refused as CheckNotRead refuses.
MaybeFailure SaveObject(const std::string& path, const ProgramImage& image);

// Whether writing path ("-" standard output) would go over a file that a program was
// read from in this run (NoteRead), however named: another spelling,
// a symbolic or a hard link. CantWriteFile naming both when it would.
MaybeFailure CheckNotRead(const std::string& path);

// Whether SaveObject could save as path, looked at before there is anything to
// save: CantWriteFile, with the reason, for a file already read (CheckNotRead), a
// folder, a folder that does not exist or may not be written, and the like.
MaybeFailure CheckSaveObject(const std::string& path);

// Standard output, whose failure is said once, at the end, by FinishStandardOutput:
// WriteStandardOutput writes bytes to it, FlushStandardOutput sends what is
// buffered; each false when that failed.
bool WriteStandardOutput(std::string_view bytes);
bool FlushStandardOutput();

// The exit status of a run that ended with status, once what went to standard output
// has arrived: a failure to write it is said, with the first reason, and is a
// failure; a reader that went away (SIGPIPE, or the write failing so) gives SIGPIPE's
// status, 141, quietly.
int FinishStandardOutput(int status);

}  // namespace ixo::cli
