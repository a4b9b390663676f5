/* A Windows program that does nothing, the baseline of the start-up benchmark. */
int main(void) { return 0; }
