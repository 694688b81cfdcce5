// latency_proxy TARGET_PORT DELAY_MS [CONNECTIONS [SECONDS]]
// Forwards connections to 127.0.0.1:TARGET_PORT (the PostgreSQL server) and
// hands every piece it reads to the other side DELAY_MS later, in each
// direction: a server at a distance, for the benchmarks. It listens on a free
// port of 127.0.0.1 and prints "port N" first; it stops by itself once
// CONNECTIONS connections (default 1) have ended, or after SECONDS (default
// 600), and then prints what it forwarded:
//   "to_server A to_client B round_trips R"
// A and B count the pieces read from each side; R counts the client's turns,
// each a burst from the client after the server last spoke (or at the start):
// the round trips the client waited for.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

class Socket {
  public:
    explicit Socket(int fd = -1) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Socket(Socket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Socket& operator=(Socket&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    [[nodiscard]] int get() const { return m_fd; }

  private:
    int m_fd;
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

Socket NewSocket() {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) {
        Fail("socket");
    }
    // Pieces go out as they are due, not when a full segment is gathered.
    const int on = 1;
    setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket;
}

struct Piece {
    Clock::time_point due;
    std::string bytes;
};

// One direction of a connection: what was read from one side, waiting to be
// written to the other.
struct Direction {
    std::deque<Piece> queue;
    bool ended = false;  // the side it reads from has closed
};

struct Connection {
    Socket client;
    Socket server;
    Direction toServer;
    Direction toClient;
};

struct Counts {
    long toServer = 0;
    long toClient = 0;
    long roundTrips = 0;
    bool serverSpokeLast = true;  // the first client piece starts a round trip
};

class Proxy {
  public:
    Proxy(unsigned short target, Clock::duration delay) : m_target(target), m_delay(delay) {
        const sockaddr_in any = Loopback(0);
        const int on = 1;
        setsockopt(m_listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(m_listener.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
            listen(m_listener.get(), 8) != 0) {
            Fail("listen");
        }
    }

    unsigned short Port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    // Forwards until `connections` have ended or `deadline` has passed.
    Counts Run(long connections, Clock::time_point deadline) {
        while (m_ended < connections && Clock::now() < deadline) {
            std::vector<pollfd> polls{{m_listener.get(), POLLIN, 0}};
            for (const Connection& c : m_connections) {
                // A side that has closed is not asked again (it would stay readable).
                polls.push_back({c.toServer.ended ? -1 : c.client.get(), POLLIN, 0});
                polls.push_back({c.toClient.ended ? -1 : c.server.get(), POLLIN, 0});
            }
            poll(polls.data(), polls.size(), WaitMilliseconds(deadline));
            if ((polls[0].revents & POLLIN) != 0) {
                Accept();
            }
            std::size_t i = 1;
            for (auto it = m_connections.begin(); it != m_connections.end();) {
                const bool fromClient = i < polls.size() && polls[i].revents != 0;
                const bool fromServer = i + 1 < polls.size() && polls[i + 1].revents != 0;
                i += 2;
                if (fromClient) {
                    Read(it->client, it->toServer, true);
                }
                if (fromServer) {
                    Read(it->server, it->toClient, false);
                }
                const bool open =
                    Deliver(it->toServer, it->server) && Deliver(it->toClient, it->client);
                if (open) {
                    ++it;
                } else {
                    it = m_connections.erase(it);
                    ++m_ended;
                }
            }
        }
        return m_counts;
    }

  private:
    int WaitMilliseconds(Clock::time_point deadline) const {
        Clock::time_point next = deadline;
        for (const Connection& c : m_connections) {
            for (const Direction* d : {&c.toServer, &c.toClient}) {
                if (!d->queue.empty() && d->queue.front().due < next) {
                    next = d->queue.front().due;
                }
            }
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        return wait.count() < 0 ? 0 : static_cast<int>(wait.count());
    }

    void Accept() {
        Socket client(accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() < 0) {
            return;
        }
        Socket server = NewSocket();
        const sockaddr_in target = Loopback(m_target);
        if (connect(server.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            ++m_ended;  // the client sees its connection closed
            return;
        }
        const int on = 1;
        setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_connections.push_back(Connection{std::move(client), std::move(server), {}, {}});
    }

    void Read(const Socket& from, Direction& direction, bool fromClient) {
        std::array<char, 1 << 16> buffer{};
        const ssize_t got = read(from.get(), buffer.data(), buffer.size());
        if (got <= 0) {
            direction.ended = true;
            return;
        }
        if (fromClient) {
            ++m_counts.toServer;
            if (m_counts.serverSpokeLast) {
                ++m_counts.roundTrips;
            }
            m_counts.serverSpokeLast = false;
        } else {
            ++m_counts.toClient;
            m_counts.serverSpokeLast = true;
        }
        direction.queue.push_back(
            {Clock::now() + m_delay, std::string(buffer.data(), static_cast<std::size_t>(got))});
    }

    // Writes the pieces that are due; false once the direction has ended and
    // everything read before its end has gone on.
    static bool Deliver(Direction& direction, const Socket& to) {
        while (!direction.queue.empty() && direction.queue.front().due <= Clock::now()) {
            const std::string& bytes = direction.queue.front().bytes;
            std::size_t sent = 0;
            while (sent < bytes.size()) {
                const ssize_t n =
                    send(to.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    return false;
                }
                sent += static_cast<std::size_t>(n);
            }
            direction.queue.pop_front();
        }
        return !(direction.ended && direction.queue.empty());
    }

    Socket m_listener = NewSocket();
    unsigned short m_target;
    Clock::duration m_delay;
    std::list<Connection> m_connections;
    long m_ended = 0;
    Counts m_counts;
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: latency_proxy TARGET_PORT DELAY_MS [CONNECTIONS [SECONDS]]\n");
        return 2;
    }
    const auto target = static_cast<unsigned short>(std::atoi(argv[1]));
    const std::chrono::milliseconds delay(std::atol(argv[2]));
    const long connections = argc > 3 ? std::atol(argv[3]) : 1;
    const std::chrono::seconds limit(argc > 4 ? std::atol(argv[4]) : 600);
    try {
        Proxy proxy(target, delay);
        std::printf("port %u\n", proxy.Port());
        std::fflush(stdout);
        const Counts counts = proxy.Run(connections, Clock::now() + limit);
        std::printf("to_server %ld to_client %ld round_trips %ld\n", counts.toServer,
                    counts.toClient, counts.roundTrips);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "latency_proxy: %s\n", error.what());
        return 1;
    }
    return 0;
}
