// The security descriptor the parent gives the target directory when it
// makes it: full access for the owner, SYSTEM and Administrators, inherited
// by every folder and file below, and nothing inherited from the folder
// above (a protected DACL). Other users can neither read the unpacked
// application nor put anything beside it, even under a temporary folder
// that they share (a service's C:\Windows\Temp).
#pragma once

#include <windows.h>

// A constant self-relative descriptor; the system only reads it.
SECURITY_ATTRIBUTES *target_directory_security();
