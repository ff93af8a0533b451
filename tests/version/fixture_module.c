/* A small module for the version reader's tests: any code will do, the
   tests read only the version block that the build attaches to it. */
int navlet_fixture_answer(void) { return 42; }
