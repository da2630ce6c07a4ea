#pragma once
#include "cleaners/drive/IconMatch.h"

// Loads the program's own icon table; the resources stay mapped as long as the process. False (and an empty
// table, which matches nothing) when they are missing or malformed.
bool LoadShippedIconTable(IconTable& table);
