#ifndef TARNEL_CONSOLEKEY_H
#define TARNEL_CONSOLEKEY_H

// Single-key input of the main menu.

// Keys of the main menu, as getchLinux returns them.
const int KEY_VALUE_ENTER = 13;  // raw mode: Enter arrives as carriage return
const int KEY_VALUE_NUM_1 = '1';
const int KEY_VALUE_NUM_2 = '2';
const int KEY_VALUE_NUM_3 = '3';
const int KEY_VALUE_NUM_4 = '4';  // the health table; not on the menu line
const int KEY_VALUE_CHAR_D = 'd';
const int KEY_VALUE_CHAR_Q = 'q';
// Ctrl-C: the raw key read takes it as a byte, not as SIGINT.
const int KEY_VALUE_CTRL_C = 3;

// getchLinux's answer when standard input has ended (see below).
const int KEY_VALUE_INPUT_END = -2;

// Reads one key from standard input without waiting for a line end and
// without echo (the terminal is raw for the one read, then restored).
// Returns the character code 0..255; -1 when the terminal cannot be switched
// or restored, which includes standard input not being a terminal (one byte
// is then consumed, since nothing can be typed there raw);
// KEY_VALUE_INPUT_END when no key will ever come: the read met end of file
// (a hung-up terminal, or piped or redirected input that is used up).
int getchLinux();

#endif
