/*
** What the GTK tests share: an X server of their own (Xvfb, which tells its
** display number through -displayfd, so tests running at once never race for
** one) and ways to find the dialog's real widgets and let GTK draw them.
*/
#ifndef FBSETUP_GTK_TEST_SUPPORT_H
#define FBSETUP_GTK_TEST_SUPPORT_H

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace setup_test {

// Starts Xvfb once for the test program and points DISPLAY at it. The server
// ends with the program (it is told so when it starts), never before GTK is
// done with it. Returns the display, or "" when Xvfb cannot start.
inline const std::string &xvfb_display()
{
    static const std::string display = [] {
        int pipe_fds[2];
        if (pipe(pipe_fds) != 0) return std::string();
        pid_t parent = getpid();
        pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            close(pipe_fds[0]);
            int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0) dup2(quiet, STDERR_FILENO);
            std::string fd = std::to_string(pipe_fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipe_fds[1]);
        std::string number;
        char c;
        while (pid > 0 && read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(pipe_fds[0]);
        if (number.empty()) return std::string();
        std::string name = ":" + number;
        setenv("DISPLAY", name.c_str(), 1);
        return name;
    }();
    return display;
}

// Runs a shell command line in the background; wait_for gives its status.
inline pid_t run_in_background(const std::string &command)
{
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

inline int wait_for(pid_t pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace setup_test

#endif
