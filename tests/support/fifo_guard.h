// Runs a reader on a FIFO that has no writer, so a reader that waits for one fails the test
// instead of hanging it. POSIX only.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

// Makes a FIFO at path and calls read. Should read still be busy after a few seconds, the guard
// opens the FIFO's writing end and closes it again, which lets a waiting open or read return.
// True when read returned on its own.
inline bool ReturnsOnAFifo(const std::string& path, const std::function<void()>& read) {
    if (mkfifo(path.c_str(), 0644) != 0) {
        return false;
    }
    std::atomic<bool> done{false};
    bool rescued = false;
    std::thread guard([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (!done) {
            // Succeeds only while a reader has the FIFO open or waits in its open.
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                rescued = true;
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    read();
    done = true;
    guard.join();
    return !rescued;
}
