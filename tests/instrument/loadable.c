/* A shared library with nothing in it but a symbol, for loading tests. */
int sfp_test_loadable_marker(void) {
    return 1;
}
