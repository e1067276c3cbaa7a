// Single-key input of the main menu.
#include "ConsoleKey.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

int getchLinux()
{
    struct termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        // Not a terminal: still a failed key read, but a used-up pipe or file
        // is the end of input and must be told apart from it.
        return std::getchar() == EOF ? KEY_VALUE_INPUT_END : -1;
    }
    struct termios raw = saved;
    cfmakeraw(&raw);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        return -1;
    }
    const int c = std::getchar();
    const bool restored = tcsetattr(STDIN_FILENO, TCSANOW, &saved) == 0;
    // A hung-up terminal may refuse the restore as well; its end still counts.
    if (c == EOF) {
        return KEY_VALUE_INPUT_END;
    }
    return restored ? c : -1;
}
