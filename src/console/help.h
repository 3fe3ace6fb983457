// The help screen: 26 lines in code page 932, printed by HELP and H.
#pragma once

namespace h8 {

extern const char* const helpLines[];
extern const int helpLineCount;

}  // namespace h8
