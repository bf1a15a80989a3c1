/* A shared object without the plug-in entry point. */
int lumtra_something_else(void) { return 1; }
