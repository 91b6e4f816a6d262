// Workstations meeting on one data directory, played by forked processes. Each child makes its
// own table objects (its own opens of the files, hence its own locks), waits at a common start
// line, does its work, writes its results to a file and leaves with _exit.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <cerrno>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace pulpex::test {

inline void writeAll(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

inline void waitForEof(int fd) {
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

// The start line: a child calls it when its tables are open, and it returns when all may go.
using StartLine = std::function<void()>;

// Runs work(0, start) … work(n - 1, start) in n child processes released at the same moment.
// Each child's lines come back in its slot; a child that failed or threw fails the test with its
// message.
inline std::vector<std::vector<std::string>> runTogether(
    const QString& dir, int n,
    const std::function<std::vector<std::string>(int, const StartLine&)>& work) {
    int go[2], ready[2];
    if (::pipe(go) != 0 || ::pipe(ready) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::vector<pid_t> pids;
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) {
        files.push_back(dir.toStdString() + "/child_" + std::to_string(i) + ".txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(go[1]);
            ::close(ready[0]);
            const int goFd = go[0], readyFd = ready[1];
            const StartLine start = [goFd, readyFd] {
                writeAll(readyFd, "R");
                ::close(readyFd);  // so that a child that died early cannot keep the parent waiting
                waitForEof(goFd);
            };
            std::string out;
            int code = 0;
            try {
                for (const auto& line : work(i, start))
                    out += line + "\n";
            } catch (const std::exception& e) {
                out = std::string("ERROR ") + e.what() + "\n";
                code = 2;
            }
            const int fd = ::open(files.back().c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            if (fd >= 0) {
                writeAll(fd, out);
                ::close(fd);
            }
            ::_exit(fd >= 0 ? code : 3);
        }
        if (pid < 0) ADD_FAILURE() << "fork";
        if (pid > 0) pids.push_back(pid);
    }
    ::close(go[0]);
    ::close(ready[1]);
    waitForEof(ready[0]);  // every child is at the start line (or gone)
    ::close(ready[0]);
    ::close(go[1]);  // the start: every waiting child's read ends now

    std::vector<std::vector<std::string>> results(pids.size());
    for (std::size_t i = 0; i < pids.size(); ++i) {
        int status = 0;
        while (::waitpid(pids[i], &status, 0) < 0 && errno == EINTR) {
        }
        QFile f(QString::fromStdString(files[i]));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty()) results[i].push_back(line.toStdString());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "child " << i << ": " << (results[i].empty() ? "no result" : results[i].front());
    }
    return results;
}

}  // namespace pulpex::test
