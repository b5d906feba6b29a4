/* A program that does nothing: its version information is what the tests read. */
int main(void) { return 0; }
