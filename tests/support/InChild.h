#ifndef TARNEL_TESTS_INCHILD_H
#define TARNEL_TESTS_INCHILD_H

// Test support: a case that changes what a process cannot take back (a
// stop request, signal handlers) runs in a forked child of its own.

#include <sys/wait.h>
#include <unistd.h>

// Runs `body` in a child; its exit status is the test's verdict (0 = passed;
// 100 + n when the child died of signal n).
template <typename Body>
int InChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

#endif
