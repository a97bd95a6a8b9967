#include "console/Procedures.h"

// Placeholders until each procedure has its own file: they do nothing and report that
// nothing was done. A procedure's file replaces its placeholder here.

namespace zorvan::console {

bool RunSecureIspProcedure(ConsoleSession&) { return false; }

}  // namespace zorvan::console
