/* The carrier's code: nothing. */
int main(void) { return 0; }
