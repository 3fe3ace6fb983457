// Files the programs read as input: LO's program, -m's map, h8abs list and make, h8sim --load.
//
//   inputFileProblem(path)  why `path` cannot be read as an input file ("it is a directory",
//                           "not a regular file"), or nullptr when it is a regular file or does
//                           not exist (the open then fails and says so as it always has)
//
// Only regular files are read: a device such as /dev/zero or a FIFO may never end, and a
// directory has nothing to read, so neither may reach a reader that loops until end of file.
#pragma once

namespace h8 {

const char* inputFileProblem(const char* path);

}  // namespace h8
