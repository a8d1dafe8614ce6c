/*
 * dialog_fixture.cpp - the dialog tests drive the same frame, modal watchdog
 * and WAVE writer as the shell tests; the fixture's source is compiled into
 * this test program too, since each test folder builds its own executable.
 */
#include "tests/shell/shell_fixture.cpp"
