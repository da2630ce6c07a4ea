/* The code of the version stand-ins: nothing. */
int VersionStubUnused(void) { return 0; }
