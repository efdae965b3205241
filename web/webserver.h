#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

struct MHD_Connection;
struct MHD_Daemon;

namespace Web {

class Board;

// The shop board over HTTP, read-only, served by libmicrohttpd from threads
// of its own: one that accepts and one per connection, at most MaxClients of
// them, each with a time-out. A thread only reads the board (under its
// mutex) and writes to its own client, so a slow or stuck client holds
// nobody but itself, and the program's threads never wait for the server.
//
// Routes: / (the board), /machine/ID (a machine's page), /events (the board's
// event stream), /api/fleet, /api/machine/ID, and the compiled-in assets
// under /assets/. GET and HEAD only; other methods get 405, a request with a
// body or beyond the size limits 400, an unknown path 404, and (with a token
// set) a request without it 401.
class WebServer
{
public:
    struct Options
    {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 8080; // 0: any free port (see port())
        QByteArray token;    // empty: none asked
        int language = 0;    // the pages' language without ?lang=: 0 Chinese, 1 English
    };

    static constexpr int MaxClients = 64;
    static constexpr int MaxUrlBytes = 2048;
    static constexpr int MaxHeaderBytes = 8192;
    static constexpr unsigned TimeoutSeconds = 30;
    static constexpr int HeartbeatMs = 15000;

    explicit WebServer(Board *board);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // False, with *error saying why, when the address cannot be listened on.
    bool start(const Options &options, QString *error);
    // Ends the event streams and waits for the server's threads.
    void stop();
    bool isRunning() const { return m_daemon != nullptr; }
    quint16 port() const;
    // The connections being served now; at most MaxClients.
    int clients() const;

    // Constant-time equality of two tokens.
    static bool sameToken(const QByteArray &a, const QByteArray &b);

private:
    struct Handler; // libmicrohttpd's callbacks
    friend struct Handler;
    void loadAssets();

    Board *m_board;
    Options m_options;
    MHD_Daemon *m_daemon = nullptr;
    QHash<QByteArray, QByteArray> m_assets;     // path -> body
    QHash<QByteArray, QByteArray> m_assetTypes; // path -> content type
};

} // namespace Web
