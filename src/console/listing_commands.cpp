// DA lists instructions from target memory.
#include "console/commands.h"
#include "disasm/listing.h"

namespace h8 {

uint32_t ListingCommands::listAt(uint32_t address) {
  return listInstruction(c_.monitor, c_.symbols, c_.out, address);
}

int ListingCommands::disassemble(const Words& args) {
  if (args.size() >= 1 && !c_.evalArgument(args[0], "Invalid Address %s\n", daAddress)) return -1;
  if (args.size() >= 2 && !c_.evalArgument(args[1], "Invalid size %s\n", daCount)) return -1;
  for (uint32_t i = 0; i < daCount; i++) {
    daAddress = listAt(daAddress);
    c_.out.flush();
    // A lost line, or the user's interrupt, fails every read that follows: the listing ends at
    // the line that failed rather than printing up to 2^32 lines of zeros.
    if (c_.port.lost() || c_.link.interrupted()) return -1;
  }
  return 0;
}

}  // namespace h8
