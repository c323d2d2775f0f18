// A TCP relay on loopback in front of the test server, for what the network does to a
// client: a login held up (the relay forwards nothing while held), a link that dies without
// a reset (forwarding stops for good, the sockets stay open), a server killed (every link
// closed, no new one taken).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace qb::test {

class Relay {
  public:
    Relay(const std::string& host, unsigned target_port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        socklen_t n = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        target_.sin_family = AF_INET;
        target_.sin_port = htons(static_cast<uint16_t>(target_port));
        ::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &target_.sin_addr);
        thread_ = std::thread([this] { serve(); });
    }
    ~Relay() {
        done_ = true;
        thread_.join();
        for (int fd : open_) ::close(fd);
        if (listener_ >= 0) ::close(listener_);
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    unsigned port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // While held, nothing is forwarded (bytes wait in the sockets).
    void hold(bool on) { held_ = on; }
    // Forwarding stops for good, without closing anything: a dead link.
    void go_dead() { dead_ = true; }
    // Every link closed and the port closed: the server is gone.
    void cut() { cut_ = true; }
    int accepted() const { return accepted_; }

  private:
    void serve() {
        std::vector<std::pair<int, int>> pairs;  // client, server
        std::vector<int> ended;                  // fds that reached their end
        auto has_ended = [&](int fd) {
            return std::find(ended.begin(), ended.end(), fd) != ended.end();
        };
        while (!done_) {
            if (cut_) {
                if (listener_ >= 0) {
                    for (int fd : open_) {
                        ::shutdown(fd, SHUT_RDWR);
                        ::close(fd);
                    }
                    open_.clear();
                    pairs.clear();
                    ::close(listener_);
                    listener_ = -1;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            if (!held_ && !dead_)
                for (auto [a, b] : pairs) {
                    fds.push_back({has_ended(a) ? -1 : a, POLLIN, 0});
                    fds.push_back({has_ended(b) ? -1 : b, POLLIN, 0});
                }
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept(listener_, nullptr, nullptr);
                const int server = ::socket(AF_INET, SOCK_STREAM, 0);
                if (::connect(server, reinterpret_cast<sockaddr*>(&target_), sizeof target_) == 0) {
                    pairs.emplace_back(client, server);
                    open_.push_back(client);
                    open_.push_back(server);
                    ++accepted_;
                } else {
                    ::close(client);
                    ::close(server);
                }
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                const auto& p = pairs[(i - 1) / 2];
                const int from = fds[i].fd, to = from == p.first ? p.second : p.first;
                char buf[16384];
                const ssize_t n = ::read(from, buf, sizeof buf);
                if (n <= 0) {
                    ended.push_back(from);
                    ::shutdown(to, SHUT_WR);
                    continue;
                }
                for (ssize_t off = 0; off < n;) {
                    const ssize_t w = ::write(to, buf + off, static_cast<size_t>(n - off));
                    if (w <= 0) break;
                    off += w;
                }
            }
        }
    }

    int listener_ = -1;
    unsigned port_ = 0;
    sockaddr_in target_{};
    std::atomic<bool> held_{false}, dead_{false}, done_{false}, cut_{false};
    std::atomic<int> accepted_{0};
    std::vector<int> open_;
    std::thread thread_;
};

}  // namespace qb::test
